#pragma once

// From the bytes of an answer to the text the operations read.

#include <optional>
#include <string>
#include <string_view>

#include "common/RegionalSettings.h"
#include "webservice/HttpClient.h"

namespace vr {

struct TContentType {
    std::string mediaType;  // without parameters, spaces trimmed, letter case as received
    std::string charset;    // the "charset" parameter, quotes removed; empty when absent
};

TContentType ParseContentType(std::string_view headerValue);

// Whether a media type carries text: text/*, JSON, XML, JavaScript, form data and the "+json"
// and "+xml" families. A missing media type counts as text, so a body is never dropped for
// lack of a header.
bool IsTextMediaType(std::string_view mediaType);

// Decodes the final answer: the charset names the encoding (UTF-8 when none); an answer under
// 300 without charset whose media type is not text gets an empty content. Throws vr::Error for
// a character set the platform does not know.
THttpAnswer DecodeAnswer(TRawAnswer raw);

// The answer's JSON text: its content written again in indented form; empty when the content
// is empty or not valid JSON.
std::string TextoJson(std::string_view content);

// Looks a member up by the answer's media type (compared ignoring letter case): the form
// "name=value&..." for text/html and text/plain, the first member of a JSON object for
// application/json, no value otherwise; a member whose value cannot be read as text gives no
// value. Throws vr::Error when JSON content is valid but not an object.
std::optional<std::string> ProcuraMembro(const THttpAnswer& answer, std::string_view name,
                                         const RegionalSettings& settings);

}  // namespace vr
