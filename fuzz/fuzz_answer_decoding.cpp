// The decoding of an answer: a Content-Type header, a status and a body become content and a
// media type; the content's JSON text and the "mensagem" lookup under every media type. The
// input is the header, the status's last digits and the body, apart by "\x01".

#include <optional>
#include <string>

#include "common/Error.h"
#include "common/Json.h"
#include "common/Text.h"
#include "fuzz/FuzzSupport.h"
#include "webservice/AnswerDecoding.h"

using namespace vr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Pieces pieces(data, size);
    const std::string header(pieces.Next());
    const std::string_view statusText = pieces.Next();
    int status = 200;
    for (const char c : statusText) status = (status * 7 + static_cast<unsigned char>(c)) % 600;

    const TContentType contentType = ParseContentType(header);
    fuzz::Check(contentType.mediaType.find(';') == std::string::npos, "the media type carries no parameter");

    TRawAnswer raw;
    raw.statusCode = status;
    raw.statusLine = "HTTP/1.1 " + std::to_string(status) + " " + std::string(statusText);
    raw.headers = {{"Content-Type", header}};
    raw.body = std::string(pieces.Rest());
    THttpAnswer answer;
    try {
        answer = DecodeAnswer(std::move(raw));
    } catch (const Error&) {
        return 0;  // a character set the platform does not know
    }
    fuzz::Check(text::IsValidUtf8(answer.content), "the content is valid UTF-8", answer.content);
    fuzz::Check(text::IsValidUtf8(answer.mediaType), "the media type is valid UTF-8");
    fuzz::Check(text::IsValidUtf8(answer.reasonPhrase), "the reason phrase is valid UTF-8");

    const std::string jsonText = TextoJson(answer.content);
    if (!jsonText.empty()) {
        fuzz::Check(JsonDocument::TryParse(jsonText).has_value(), "the JSON text reads back", jsonText);
    }

    const RegionalSettings settings = fuzz::Locale(",");
    for (const char* mediaType : {"application/json", "text/html", "TEXT/PLAIN", "image/png"}) {
        answer.mediaType = mediaType;
        try {
            const std::optional<std::string> mensagem = ProcuraMembro(answer, "mensagem", settings);
            if (mensagem) fuzz::Check(text::IsValidUtf8(*mensagem), "the message is valid UTF-8");
        } catch (const Error&) {
            // JSON that is not an object: the lookup's one failure.
            fuzz::Check(answer.mediaType == "application/json", "only a JSON lookup fails");
        }
    }
    return 0;
}
