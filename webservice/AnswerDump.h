#pragma once

// The answer dump: BRISEN_RESPOSTA.LOG beside the executable holds the last answer received.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "common/LineBreaks.h"
#include "platform/FileAccess.h"

namespace vr {

// Kinds of JSON the answer dump can hold.
enum class TTipoJson { tjRetorno };

inline constexpr const char* kArquivoDump = "BRISEN_RESPOSTA.LOG";

// Where the answer dump goes and how it is encoded.
struct TDestinoDump {
    std::filesystem::path diretorio;  // the executable's directory
    std::string codePage;             // the regional settings' ANSI code page
};

// Replaces BRISEN_RESPOSTA.LOG with Json: lines cut at CR LF, lone CR and lone LF, each written
// followed by CR LF, in the code page, without byte-order mark. The file is replaced whole or
// not at all. Throws vr::Error naming the file when it cannot be written.
void SalvarJson(std::string_view Json, TTipoJson TipoJson, const TDestinoDump& destino);

// SalvarJson for a text that arrives in pieces (a large answer written again as it is
// produced). The dump is replaced only by Commit; a writer destroyed before it leaves the
// earlier dump as it was. A dump that is a symbolic link stays one, its target replaced, and
// keeps its owner, group and permissions.
class TDumpWriter {
public:
    explicit TDumpWriter(const TDestinoDump& destino);
    ~TDumpWriter();
    TDumpWriter(const TDumpWriter&) = delete;
    TDumpWriter& operator=(const TDumpWriter&) = delete;

    void Write(std::string_view text);
    void Commit();

private:
    void Flush(bool all);

    std::string codePage_;
    std::filesystem::path file_;
    std::unique_ptr<FileReplacement> out_;
    std::string pending_;  // normalised text not yet converted
    LineBreaks lineBreaks_{1, false};
};

}  // namespace vr
