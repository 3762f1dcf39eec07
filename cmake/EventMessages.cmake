# The event log's message table, Windows only: windmc turns the .mc into a header, a resource
# script and the table's binary; windres compiles the script into an object that an executable
# links. On a cross build the toolchain file names both tools, elsewhere they are found by name.
if(NOT VR_WINDMC)
  find_program(VR_WINDMC NAMES windmc REQUIRED)
endif()
if(NOT VR_WINDRES)
  find_program(VR_WINDRES NAMES windres REQUIRED)
endif()

# Makes the target vr_event_messages: <dir>/EventMessages.h and the object whose path is kept
# in the global property VR_EVENT_MESSAGES_OBJECT.
function(vr_compile_event_messages mc dir)
  get_filename_component(name ${mc} NAME_WE)
  set(object ${dir}/${name}.res.obj)
  add_custom_command(
    OUTPUT ${dir}/${name}.h ${dir}/${name}.rc
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${VR_WINDMC} -h ${dir} -r ${dir} ${mc}
    DEPENDS ${mc}
    COMMENT "Compiling the message table ${name}.mc"
    VERBATIM)
  add_custom_command(
    OUTPUT ${object}
    COMMAND ${VR_WINDRES} --input-format=rc --output-format=coff -I ${dir}
      -i ${dir}/${name}.rc -o ${object}
    DEPENDS ${dir}/${name}.rc
    WORKING_DIRECTORY ${dir}
    VERBATIM)
  add_custom_target(vr_event_messages DEPENDS ${dir}/${name}.h ${object})
  set_property(GLOBAL PROPERTY VR_EVENT_MESSAGES_OBJECT ${object})
endfunction()

# Links the message table into an executable, so that an event source naming that executable
# as its EventMessageFile has texts for its entries.
function(vr_add_event_messages target)
  get_property(object GLOBAL PROPERTY VR_EVENT_MESSAGES_OBJECT)
  set_source_files_properties(${object} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  target_sources(${target} PRIVATE ${object})
  add_dependencies(${target} vr_event_messages)
endfunction()
