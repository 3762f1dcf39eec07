#include <optional>

#include "common/Json.h"
#include "common/ValueText.h"
#include "webservice/AnswerDecoding.h"
#include "tax/TaxRules.h"
#include "webservice/AnswerDump.h"
#include "webservice/ConsultaEAN.h"
#include "webservice/Endpoints.h"

namespace vr {

namespace {

std::string Retornada(std::string_view mensagem) {
    std::string text(kMensagemRetornada);
    text += "\r\n\r\n";
    text += mensagem;
    return text;
}

// The "tributos" entry the record is filled from; a failure when the answer lacks it.
std::optional<JsonValue> PrimeiroTributo(JsonValue root) {
    const std::optional<JsonValue> tributos = root.Find("tributos");
    if (!tributos) throw Error("Membro \"tributos\" ausente na resposta");
    if (!tributos->IsArray()) throw Error("O membro \"tributos\" da resposta não é uma lista");
    if (tributos->size() == 0) return std::nullopt;
    const JsonValue first = *tributos->begin();
    if (!first.IsObject()) throw Error("O primeiro item de \"tributos\" não é um objeto");
    return first;
}

// The consultation of one barcode on the store's account.
THttpRequest PedidoConsulta(std::string_view CNPJ, std::string_view IDUsuario, std::string_view TokenAcesso,
                            std::string_view CodigoProduto, std::string_view DescricaoProduto,
                            const TContextoConsulta& contexto) {
    THttpRequest request;
    request.url = BaseURLConsultaEAN(contexto.baseAddress);
    request.url += IDUsuario;
    request.url += '/';
    request.url += CNPJ;
    request.url += '/';
    request.url += TokenAcesso;
    request.query = {{"ean", std::string(CodigoProduto)}, {"descricao", std::string(DescricaoProduto)}};
    request.timeoutMs = contexto.timeoutMs;
    return request;
}

// A status 200 answer: a "mensagem" other than "sucesso" reads as a 400, an empty "tributos"
// as a product not found, otherwise its first entry fills the record.
void LeSucesso(const std::string& jsonText, std::string_view UF, const TContextoConsulta& contexto,
               TRetornoBrisen& record) {
    const JsonDocument document = JsonDocument::Parse(jsonText);
    const JsonValue root = document.root();
    if (!root.IsObject()) throw Error("A resposta da consulta não é um objeto JSON");
    const std::string mensagem = RequiredMemberText(root, "mensagem", contexto.settings);
    if (mensagem != "sucesso") {
        record.StatusCode = 400;
        record.Mensagem = Retornada(mensagem);
        return;
    }
    if (contexto.processarMensagens) contexto.processarMensagens();
    const std::optional<JsonValue> tributo = PrimeiroTributo(root);
    if (!tributo) {
        record.Mensagem = std::string(kMensagemNaoLocalizado);
        return;
    }
    ConverteTributo(*tributo, UF, TCaminhoTributo::ctProduto, contexto.settings, record);
}

}  // namespace

TRetornoBrisen ConsultaEAN(std::string_view CNPJ, std::string_view UF, std::string_view IDUsuario,
                           std::string_view TokenAcesso, std::string_view CodigoProduto,
                           std::string_view DescricaoProduto, const TContextoConsulta& contexto) {
    TRetornoBrisen record;
    std::optional<THttpAnswer> answer;  // as far as it was received
    try {
        const THttpRequest request =
            PedidoConsulta(CNPJ, IDUsuario, TokenAcesso, CodigoProduto, DescricaoProduto, contexto);
        try {
            answer = contexto.cliente.Get(request);
        } catch (const RestError& e) {
            if (e.answer() != nullptr) answer = *e.answer();
            throw;
        }
        // Taken as JSON whatever Content-Type came, as the feed's answer is (see FeedRequest.cpp);
        // only the failure path below sees the media type as received.
        answer->mediaType = "application/json";

        // Dumped before the status is looked at, so answers of every status are kept. The body is
        // parsed, written again indented and that text parsed once more: the dump shows exactly
        // what is then read, and a body that is not JSON reads as empty in both.
        const std::string jsonText = TextoJson(answer->content);
        SalvarJson(jsonText, TTipoJson::tjRetorno, {contexto.diretorio, contexto.settings.ansiCodePage});

        record.StatusCode = answer->statusCode;
        if (answer->statusCode == 200) {
            // The indented text is what is read again, not the raw body.
            LeSucesso(jsonText, UF, contexto, record);
        } else if (answer->statusCode == 400) {
            record.Mensagem =
                Retornada(ProcuraMembro(*answer, "mensagem", contexto.settings).value_or(""));
        } else {
            record.Mensagem = answer->content;
        }
        return record;
    } catch (const Error&) {
        // The error's own description stays out: the message tells what the service said.
        // A lookup that fails here again (JSON that is not an object) leaves the consultation.
        std::string detalhe;
        if (answer) {
            const std::optional<std::string> mensagem =
                ProcuraMembro(*answer, "mensagem", contexto.settings);
            detalhe = mensagem && !mensagem->empty() ? *mensagem : answer->content;
        }
        record.StatusCode = 0;
        record.Mensagem = std::string(kMensagemFalha) + "\r\n\r\nErro: " + detalhe;
        return record;
    }
}

}  // namespace vr
