#include "webservice/HttpClient.h"

#include "common/Text.h"
#include "webservice/AnswerDecoding.h"

namespace vr {

THttpAnswer HttpClient::Get(const THttpRequest& request) {
    TRawAnswer raw = Transfer(BuildRequestUrl(request.url, request.query), request.timeoutMs);
    const std::string statusLine = raw.statusLine;
    THttpAnswer answer = DecodeAnswer(std::move(raw));
    // The body is decoded first so that whoever catches the error can still read it.
    if (answer.statusCode >= 500) throw RestError(text::ToValidUtf8(statusLine), std::move(answer));
    return answer;
}

}  // namespace vr
