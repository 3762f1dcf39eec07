// Applying one answer of the updates feed: consult every changed product, write every product's
// and segment's tax data through PROC_DIRADOR, one committed transaction per write.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "common/Error.h"
#include "common/Json.h"
#include "service/UVevoveRazara.h"
#include "common/ValueText.h"
#include "tax/DiradorParameters.h"
#include "tax/TaxRules.h"
#include "webservice/AnswerDump.h"
#include "webservice/JsonWriters.h"
#include "webservice/ConsultaEAN.h"

namespace vr {
namespace {

// An array member the feed must carry; a missing one, or one of another kind, ends the call.
JsonValue RequiredArray(JsonValue object, std::string_view name) {
    const std::optional<JsonValue> member = object.Find(name);
    if (!member) throw Error("Campo obrigatório ausente no JSON: \"" + std::string(name) + "\"");
    if (!member->IsArray()) throw Error("O campo \"" + std::string(name) + "\" da resposta não é uma lista");
    return *member;
}

JsonValue RequiredObject(JsonValue element, std::string_view arrayName) {
    if (!element.IsObject()) {
        throw Error("Um item de \"" + std::string(arrayName) + "\" da resposta não é um objeto");
    }
    return element;
}

// What a JSON value is, for a message that says why it is not what was expected.
std::string_view Genero(JsonKind kind) {
    switch (kind) {
        case JsonKind::Array: return "uma lista";
        case JsonKind::String: return "um texto";
        case JsonKind::Number: return "um número";
        case JsonKind::True:
        case JsonKind::False: return "um valor lógico";
        case JsonKind::Null: return "null";
        case JsonKind::Object: break;
    }
    return "um objeto";
}

}  // namespace

void TSrvVevoveRazara::BindTributo(const TRetornoBrisen& record, TCaminhoTributo caminho) {
    for (const TParametroDirador& parametro : ParametrosDirador()) {
        if (!parametro.DefinidoEm(caminho)) continue;
        const TValorParametro valor = parametro.valor(record, caminho);
        if (const auto* texto = std::get_if<std::string>(&valor)) {
            ProcDIrador.SetText(parametro.nome, *texto);
        } else if (const auto* decimal = std::get_if<Decimal>(&valor)) {
            ProcDIrador.SetDecimal(parametro.nome, *decimal);
        } else {
            ProcDIrador.SetInteger(parametro.nome, std::get<std::int32_t>(valor));
        }
    }
}

bool TSrvVevoveRazara::GravaTributo(const TRetornoBrisen& record, TCaminhoTributo caminho) {
    IniciarTransacao(ProcDIrador);
    BindTributo(record, caminho);
    // A refused write is logged and rolled back there; the feed goes on with the next element.
    const TDesfechoEscrita desfecho = FinalizaEscrita(ProcDIrador, true, true);
    // A write whose outcome stayed unknown (logged there too) must not count as applied, nor
    // as written or refused: the cycle ends as failed and the next one writes it again.
    if (desfecho == TDesfechoEscrita::deIncerta) return false;
    RegistraGravacao(caminho, desfecho == TDesfechoEscrita::deGravada);
    return true;
}

bool TSrvVevoveRazara::RetornoAtualizacao(std::string_view JSonRetorno) {
    return AplicaRetorno(JsonDocument::Parse(JSonRetorno));
}

bool TSrvVevoveRazara::AplicaRetorno(const JsonDocument& document) {
    const JsonValue root = document.root();
    if (!root.IsObject()) {
        throw Error("A resposta de atualização não é um objeto JSON: é " + std::string(Genero(root.kind())));
    }

    // Dumped before any member is looked at, so that error answers are kept too.
    {
        TDumpWriter dump(DestinoDump());
        WriteCompactJson(root, [&dump](std::string_view piece) { dump.Write(piece); });
        dump.Commit();
    }

    const RegionalSettings& settings = setup_.settings;
    if (RequiredMemberText(root, "erro", settings) != "0") {
        DoSaveLog(RequiredMemberText(root, "mensagem", settings));
        return false;
    }

    const JsonValue produtos = RequiredArray(root, "produtos_troca_segmento");
    for (const JsonValue element : produtos) {
        const JsonValue produto = RequiredObject(element, "produtos_troca_segmento");
        const std::string ean = RequiredMemberText(produto, "ean", settings);
        const std::string descricao = RequiredMemberText(produto, "descricao", settings);
        // The configuration row is read again for every product.
        const std::string token = TBPadrao.Text("BRISEN_TOKEN");
        const std::string id = TBPadrao.Text("BRISEN_ID");
        const std::string estado = TBPadrao.Text("ESTADO");
        const std::string cgc = TBPadrao.Text("CGC");
        const TRetornoBrisen record =
            ConsultaEAN(ExtraiNumero(cgc), estado, id, token, ean, descricao, ContextoConsulta());
        if (record.StatusCode != 200) {
            RegistraConsultaIgnorada();
        } else if (!GravaTributo(record, TCaminhoTributo::ctProduto)) {
            return false;
        }
    }

    const JsonValue segmentos = RequiredArray(root, "tributos");
    for (const JsonValue element : segmentos) {
        const JsonValue segmento = RequiredObject(element, "tributos");
        TRetornoBrisen record;
        ConverteTributo(segmento, TBPadrao.Text("ESTADO"), TCaminhoTributo::ctSegmento, settings, record);
        if (!GravaTributo(record, TCaminhoTributo::ctSegmento)) return false;
    }
    return true;
}

}  // namespace vr
