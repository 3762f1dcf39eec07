// The updates feed request of the update cycle, and what the classification service's
// exchanges take from the module.

#include <cstdio>
#include <optional>
#include <string>

#include "common/Date.h"
#include "service/UVevoveRazara.h"
#include "common/Json.h"
#include "webservice/AnswerDecoding.h"
#include "webservice/JsonWriters.h"
#include "webservice/Endpoints.h"

namespace vr {
namespace {

// The feed's "date" parameter: the day before the last update, as DD-MM-YYYY.
std::string DiaAnterior(const LocalDateTime& ultimaAtualizacao) {
    const CivilDate dia = AddDays(DateOf(ultimaAtualizacao), -1);
    char text[32];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d", dia.day, dia.month, dia.year);
    return text;
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
    answer.mediaType = "application/json";
    if (answer.statusCode == 200) {
        // The feed is applied from its JSON text, the content written again in indented form and
        // read back. A large feed is read once instead, the content released before it is
        // applied; where the indented text would not read back, the empty text is applied.
        std::optional<JsonDocument> document;
        {
            // Moved out so that the content's memory goes with this scope.
            const THttpAnswer received = std::move(answer);
            document = JsonDocument::TryParse(received.content);
        }
        if (!document || !IndentedJsonReadsBack(*document)) return RetornoAtualizacao("");
        return AplicaRetorno(*document);
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
