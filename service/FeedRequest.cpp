// The updates feed request of the update cycle, and what the classification service's
// exchanges take from the module.

#include <algorithm>
#include <optional>
#include <string>

#include "common/Date.h"
#include "service/UVevoveRazara.h"
#include "common/Json.h"
#include "webservice/AnswerDecoding.h"
#include "webservice/Endpoints.h"

namespace vr {
namespace {

// The feed's "date" parameter: the day before the last update, as DD-MM-YYYY.
std::string DiaAnterior(const LocalDateTime& ultimaAtualizacao) {
    return DayMonthYearText(AddDays(DateOf(ultimaAtualizacao), -1), "-");
}

// The start of a body that is not JSON, for the log: enough to tell an HTML page or a truncated
// answer, on one line.
std::string Inicio(std::string_view content) {
    constexpr std::size_t kShown = 60;
    std::size_t length = std::min(content.size(), kShown);
    // Not in the middle of a character.
    while (length < content.size() && length > 0 && (static_cast<unsigned char>(content[length]) & 0xC0) == 0x80) {
        --length;
    }
    std::string shown;
    for (const char c : content.substr(0, length)) shown += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    if (length < content.size()) shown += "...";
    return shown;
}

// The feed answer's document; the failure says what was wrong with a body that is not one.
JsonDocument LeRetorno(std::string&& content) {
    if (content.empty()) throw Error("A resposta de atualização veio vazia");
    const std::string inicio = Inicio(content);
    try {
        return JsonDocument::ParseInPlace(std::move(content));
    } catch (const JsonError& e) {
        std::string message = e.what();
        message += message.ends_with('.') ? " " : ". ";
        throw Error(message + "Início da resposta: \"" + inicio + "\"");
    }
}

}  // namespace

bool TSrvVevoveRazara::AtualizacaoTributos(const LocalDateTime& Database) {
    const std::string cgc = ExtraiNumero(TBPadrao.Text("CGC"));
    const std::string id = TBPadrao.Text("BRISEN_ID");
    const std::string token = TBPadrao.Text("BRISEN_TOKEN");

    THttpRequest request;
    request.url = BaseURLAtualizacao(setup_.baseAddress) + "/" + id + "/" + cgc + "/" + token;
    request.query = {{"date", DiaAnterior(Database)}};
    request.timeoutMs = setup_.timeoutAtualizacaoMs;

    THttpAnswer answer = http_->Get(request);
    if (AoProgredir) AoProgredir();
    // Whatever Content-Type the server sent, the answer is taken as JSON from here on: the service
    // has always answered JSON with varying headers, and the "mensagem" of an error answer must
    // be found whether it said text/html or nothing at all.
    answer.mediaType = "application/json";
    if (answer.statusCode == 200) {
        // The feed is applied from the document its own text reads as, parsed once in place: the
        // content is released with the parse, the document taking it over.
        std::string content = std::move(answer.content);
        answer = THttpAnswer();
        return AplicaRetorno(LeRetorno(std::move(content)));
    }

    const std::optional<std::string> mensagem = ProcuraMembro(answer, "mensagem", setup_.settings);
    DoSaveLog(mensagem && !mensagem->empty() ? *mensagem : answer.content);
    return false;
}

TDestinoDump TSrvVevoveRazara::DestinoDump() const {
    return {setup_.directory, setup_.settings.ansiCodePage};
}

TContextoConsulta TSrvVevoveRazara::ContextoConsulta() {
    return {*http_, setup_.settings, setup_.directory, [this] { ProcessaMensagens(); }, setup_.baseAddress,
            setup_.timeoutConsultaEANMs};
}

}  // namespace vr
