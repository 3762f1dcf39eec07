// The barcode consultation against the stand-in, one case per outcome it can have.

#include <chrono>
#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>

#include "common/Json.h"
#include "common/Text.h"
#include "platform/CodePage.h"
#include "tax/TaxRules.h"
#include "tests/standin/StandinPlatform.h"
#include "tests/support/StandinEnvironment.h"
#include "tests/support/TempDir.h"
#include "webservice/AnswerDecoding.h"
#include "webservice/ConsultaEAN.h"
#include "webservice/PlatformHttpClient.h"

namespace vr {
namespace {

using standin::Response;

const std::string kPath = "/v2.0/consulta-ean/ID-9/12345678000195/TOK";

// A client that notes what each exchange asked of the transport before doing it.
class RecordingClient : public PlatformHttpClient {
public:
    using PlatformHttpClient::PlatformHttpClient;
    std::vector<std::pair<std::string, int>> calls;

protected:
    TRawAnswer Transfer(const std::string& url, int timeoutMs) override {
        calls.emplace_back(url, timeoutMs);
        return PlatformHttpClient::Transfer(url, timeoutMs);
    }
};

std::string Entry(const std::string& ean, bool withCfopVenda = true) {
    return R"({"ean_cliente":")" + ean +
           R"(","ncm":"2101.11.10","cest":"17.099.00","idlista":2,"piscofins_cst_entrada":"70",)"
           R"("piscofins_cst_saida":"04","piscofins_naturezarec":"101","ipi":0,"icms_saida_csosn":"",)"
           R"("icms_saida_cst":"060","base_reduzida":0,"mva":38.24,"icms_fcp":0,"cod_beneficio":"")" +
           std::string(withCfopVenda ? R"(,"cfop_venda":"5405")" : "") + R"(,"desoneracao_icms":0})";
}

Response Answer(int status, std::string body, std::string contentType = "application/json") {
    Response r;
    r.status = status;
    r.reason = status == 200 ? "OK" : status >= 500 ? "Service Unavailable" : "Resposta";
    if (!contentType.empty()) r.headers = {{"Content-Type", std::move(contentType)}};
    r.body = std::move(body);
    return r;
}

std::string Retornada(const std::string& text) {
    return "MENSAGEM RETORNADA PELA VEVOVERAZARA\r\n\r\n" + text;
}

std::string Falha(const std::string& detail) {
    return "Ocorreu um erro na comunicação com a VEVOVERAZARA. Este produto será classificado pela "
           "mesma posteriormente.\r\n\r\nErro: " +
           detail;
}

const std::string kNaoLocalizado =
    "Este código de barras não foi localizado na base de dados da VEVOVERAZARA, por este motivo foi "
    "colocado sob análise e será classificado posteriormente!!!";

class WebConsultaEAN : public ::testing::Test {
protected:
    void SetUp() override {
        server.ClearRoutes();
        server.TakeRequests();
        settings.decimalSeparator = ",";
        settings.ansiCodePage = "WINDOWS-1252";
        dir.Write("BRISEN_RESPOSTA.LOG", "anterior\r\n");
    }

    TRetornoBrisen Consult(const std::string& ean = "789", const std::string& descricao = "CAFÉ") {
        const TContextoConsulta contexto{client, settings, dir.path(), [this] { ++pumps; }, base, timeoutMs};
        return ConsultaEAN("12345678000195", "SP", "ID-9", "TOK", ean, descricao, contexto);
    }

    // The dump as text (it is written in the settings' code page).
    std::string Dump() const { return codepage::ToUtf8(dir.Read("BRISEN_RESPOSTA.LOG"), "WINDOWS-1252"); }

    standin::Server& server = test::Standin();
    std::string base = server.Origin();
    int timeoutMs = kTimeoutConsultaEANMs;
    RecordingClient client{test::StandinTrust()};
    RegionalSettings settings;
    test::TempDir dir;
    int pumps = 0;
};

TEST_F(WebConsultaEAN, SendsTheConsultationRequest) {
    server.Route(kPath, Answer(200, R"({"mensagem":"sucesso","tributos":[]})"));
    Consult("7891000100103", "CAFÉ EM PÓ 500G");
    const std::vector<standin::Request> requests = server.TakeRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target,
              kPath + "?ean=7891000100103&descricao=CAF%C3%89%20EM%20P%C3%93%20500G");
    ASSERT_EQ(client.calls.size(), 1u);
    EXPECT_EQ(client.calls[0].second, 10000);
}

TEST_F(WebConsultaEAN, SuccessTakesTheFirstTaxEntry) {
    const std::string body =
        R"({"mensagem":"sucesso","tributos":[)" + Entry("0000000000001") + "," + Entry("2") + "]}";
    server.Route(kPath, Answer(200, body));
    const TRetornoBrisen record = Consult("789");

    TRetornoBrisen expected;
    const JsonDocument document = JsonDocument::Parse(Entry("0000000000001"));
    ConverteTributo(document.root(), "SP", TCaminhoTributo::ctProduto, settings, expected);
    expected.StatusCode = 200;
    EXPECT_EQ(record, expected);
    EXPECT_EQ(record.CodigoProduto, "0000000000001");  // the service's barcode, not the one asked
    EXPECT_EQ(record.NCM, "21011110");
    EXPECT_EQ(record.CFOPVenda, "5405");
    EXPECT_EQ(record.AliqMVA, 382400);
    EXPECT_EQ(record.Mensagem, "");
    EXPECT_EQ(record.IdSegmento, 0);
    EXPECT_EQ(pumps, 1);
    EXPECT_EQ(Dump(), TextoJson(body) + "\r\n");
    EXPECT_TRUE(Dump().starts_with("{\r\n    \"mensagem\": \"sucesso\",\r\n    \"tributos\": [\r\n        {\r\n"));
}

struct Row {
    std::string name;
    Response response;
    int status;
    std::string mensagem;
    bool dumped;  // false: the dump keeps the earlier answer
    int pumps = 0;
};

TEST_F(WebConsultaEAN, EveryOutcomeGivesItsRecord) {
    Response html404 = Answer(404, "<html>mensagem=nada</html>", "text/html");
    Response form503 = Answer(503, "x=1&mensagem=Em manutenção&y=2", "text/html; charset=utf-8");
    const std::vector<Row> rows = {
        {"barcode not found", Answer(200, R"({"mensagem":"sucesso","tributos":[]})"), 200,
         kNaoLocalizado, true, 1},
        {"mensagem with a capital", Answer(200, R"({"mensagem":"Sucesso","tributos":[]})"), 400,
         Retornada("Sucesso"), true},
        {"mensagem with a space", Answer(200, R"({"mensagem":" sucesso"})"), 400,
         Retornada(" sucesso"), true},
        {"mensagem a number", Answer(200, R"({"mensagem":1})"), 400, Retornada("1"), true},
        {"status 400 with mensagem", Answer(400, R"({"mensagem":"EAN inválido"})"), 400,
         Retornada("EAN inválido"), true},
        {"status 400 without mensagem", Answer(400, R"({"erro":1})"), 400, Retornada(""), true},
        {"status 400 with html", Answer(400, "<b>mensagem=x</b>", "text/html"), 400, Retornada(""), true},
        {"status 404 with html", html404, 404, "<html>mensagem=nada</html>", true},
        {"status 401 with json", Answer(401, R"({"mensagem":"token"})"), 401,
         R"({"mensagem":"token"})", true},
        {"status 204", Answer(204, ""), 204, "", true},
        {"status 503 with json mensagem", Answer(503, R"({"mensagem":"em manutenção"})"), 0,
         Falha("em manutenção"), false},
        {"status 503 with json without mensagem", Answer(503, R"({"erro":"x"})"), 0,
         Falha(R"({"erro":"x"})"), false},
        {"status 503 with a form", form503, 0, Falha("Em manutenção"), false},
        {"status 500 with another type", Answer(500, "[1]", "application/octet-stream"), 0,
         Falha("[1]"), false},
        {"status 503 with an empty body", Answer(503, "", ""), 0, Falha(""), false},
        {"status 200 not json", Answer(200, "<html>oi</html>", "text/html"), 0,
         Falha("<html>oi</html>"), true},
        {"nested deeper than the parser allows", Answer(200, std::string(100000, '[') + std::string(100000, ']')),
         0, Falha(std::string(100000, '[') + std::string(100000, ']')), true},
        {"bytes that are not UTF-8", Answer(200, "{\"mensagem\":\"sucess\xF3\"}"), 400,
         Retornada("sucess\uFFFD"), true},
        {"mensagem that cannot be read", Answer(200, R"({"mensagem":123456789012345678901234})"), 0,
         Falha(R"({"mensagem":123456789012345678901234})"), true},
        {"status 200 without mensagem", Answer(200, R"({"tributos":[]})"), 0,
         Falha(R"({"tributos":[]})"), true},
        {"status 200 without tributos", Answer(200, R"({"mensagem":"sucesso"})"), 0,
         Falha("sucesso"), true, 1},
        {"tributos not an array", Answer(200, R"({"mensagem":"sucesso","tributos":{}})"), 0,
         Falha("sucesso"), true, 1},
        {"first entry not an object", Answer(200, R"({"mensagem":"sucesso","tributos":[1]})"), 0,
         Falha("sucesso"), true, 1},
        // The indented text escapes a control character, so it reads back.
        {"control character in a string", Answer(200, R"({"mensagem":"sucesso","x":"\u0001","tributos":[]})"),
         200, kNaoLocalizado, true, 1},
        {"number beyond a double", Answer(200, R"({"mensagem":"sucesso","x":1e999999,"tributos":[]})"), 200,
         kNaoLocalizado, true, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        dir.Write("BRISEN_RESPOSTA.LOG", "anterior\r\n");
        pumps = 0;
        server.Route(kPath, row.response);
        const TRetornoBrisen record = Consult();
        EXPECT_EQ(record.StatusCode, row.status);
        EXPECT_EQ(record.Mensagem, row.mensagem);
        EXPECT_EQ(record.CodigoProduto, "");
        EXPECT_EQ(record.NCM, "");
        EXPECT_EQ(pumps, row.pumps);
        if (row.dumped) {
            const std::string jsonText = TextoJson(text::ToValidUtf8(row.response.body));
            EXPECT_EQ(dir.Read("BRISEN_RESPOSTA.LOG"),
                      jsonText.empty() ? "" : codepage::FromUtf8(jsonText + "\r\n", "WINDOWS-1252"));
        } else {
            EXPECT_EQ(Dump(), "anterior\r\n");
        }
    }
}

// Escaped control characters and numbers of any size are JSON like any other: the entry is read,
// the dump shows the escapes, and a rate too large to convert is 0.
TEST_F(WebConsultaEAN, ControlCharactersAndHugeNumbersAreRead) {
    std::string entry = Entry("0000000000001");
    entry.replace(entry.find(R"("cod_beneficio":"")"), 18, R"("cod_beneficio":"SP\u0001\u0000X")");
    entry.replace(entry.find(R"("ipi":0)"), 7, R"("ipi":1e999999)");
    const std::string big(400, '7');
    const std::string body = R"({"mensagem":"sucesso","nota":"a\u0002\u0000b","grande":)" + big +
                             R"(,"tributos":[)" + entry + "]}";
    server.Route(kPath, Answer(200, body));
    const TRetornoBrisen record = Consult();
    EXPECT_EQ(record.StatusCode, 200);
    EXPECT_EQ(record.Mensagem, "");
    EXPECT_EQ(record.CBNEF, std::string("SP\x01\0X", 5));
    EXPECT_EQ(record.AliqIPI, 0);
    EXPECT_EQ(record.AliqMVA, 382400);
    EXPECT_EQ(record.CFOPVenda, "5405");
    const std::string dump = dir.Read("BRISEN_RESPOSTA.LOG");
    EXPECT_NE(dump.find(R"("nota": "a\u0002\u0000b")"), std::string::npos) << dump;
    EXPECT_NE(dump.find(R"("cod_beneficio": "SP\u0001\u0000X")"), std::string::npos) << dump;
    EXPECT_NE(dump.find("\"grande\": " + big + ",\r\n"), std::string::npos);
    EXPECT_NE(dump.find(R"("ipi": 1e999999,)"), std::string::npos);
    for (const char c : dump) {
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n') << static_cast<int>(c);
    }
}

TEST_F(WebConsultaEAN, AFailureInTheTaxEntryKeepsWhatWasFilledBefore) {
    server.Route(kPath, Answer(200, R"({"mensagem":"sucesso","tributos":[)" + Entry("55", false) + "]}"));
    const TRetornoBrisen record = Consult();
    EXPECT_EQ(record.StatusCode, 0);
    EXPECT_EQ(record.Mensagem, Falha("sucesso"));
    EXPECT_EQ(record.CodigoProduto, "55");
    EXPECT_EQ(record.NCM, "21011110");
    EXPECT_EQ(record.CFOPCompra, "1403");
    EXPECT_EQ(record.CFOPVenda, "");
}

TEST_F(WebConsultaEAN, ExchangeErrorsGiveTheFailureTextAlone) {
    const auto redirect = [](const std::string& location) {
        Response r;
        r.status = 302;
        r.reason = "Found";
        r.headers = {{"Location", location}};
        return r;
    };
    for (int i = 1; i <= 6; ++i) {
        server.Route("/loop" + std::to_string(i), redirect("/loop" + std::to_string(i + 1)));
    }
    server.Route(kPath, redirect("/loop1"));
    const TRetornoBrisen redirected = Consult();
    EXPECT_EQ(redirected.StatusCode, 0);
    EXPECT_EQ(redirected.Mensagem, Falha(""));
    EXPECT_EQ(Dump(), "anterior\r\n");

    const std::string origin = server.Origin();
    for (const std::string& unreachable :
         {std::string("https://127.0.0.1:1"),
          "https://127.0.0.1:" + std::to_string(server.untrustedPort())}) {
        SCOPED_TRACE(unreachable);
        base = unreachable;
        const TRetornoBrisen record = Consult();
        base = origin;
        EXPECT_EQ(record.StatusCode, 0);
        EXPECT_EQ(record.Mensagem, Falha(""));
        EXPECT_EQ(Dump(), "anterior\r\n");
    }
}

// An answer that keeps coming a byte at a time is cut at the consultation's timeout (shortened
// here; the rule is the same at ten seconds) and fails like any exchange error. Whole, it would
// take forty seconds.
TEST_F(WebConsultaEAN, ATrickledAnswerIsCutAtTheTimeout) {
    Response trickled = Answer(200, R"({"mensagem":"sucesso","tributos":[)" + Entry("789") + "]}");
    trickled.trickleChunk = 1;
    trickled.trickleInterval = 40.0 / static_cast<double>(trickled.body.size());
    server.Route(kPath, trickled);
    timeoutMs = 2000;
    const auto start = std::chrono::steady_clock::now();
    const TRetornoBrisen record = Consult();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(record.StatusCode, 0);
    EXPECT_EQ(record.Mensagem, Falha(""));
    EXPECT_EQ(record.CodigoProduto, "");
    EXPECT_EQ(Dump(), "anterior\r\n");
    EXPECT_EQ(pumps, 0);
    ASSERT_EQ(client.calls.size(), 1u);
    EXPECT_EQ(client.calls[0].second, 2000);
    EXPECT_GE(seconds, 1.9);
    EXPECT_LT(seconds, 20.0);  // far below the forty seconds of the whole answer
}

TEST_F(WebConsultaEAN, AnUnwritableDumpIsAFailure) {
    dir.Write("BRISEN_RESPOSTA.LOG", "");
    std::filesystem::remove(dir.path() / "BRISEN_RESPOSTA.LOG");
    std::filesystem::create_directories(dir.path() / "BRISEN_RESPOSTA.LOG" / "ocupado");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"mensagem":"sucesso","tributos":[]})", "sucesso"},
        {R"({"tributos":[]})", R"({"tributos":[]})"},
    };
    for (const auto& [body, detail] : cases) {
        SCOPED_TRACE(body);
        server.Route(kPath, Answer(200, body));
        const TRetornoBrisen record = Consult();
        EXPECT_EQ(record.StatusCode, 0);
        EXPECT_EQ(record.Mensagem, Falha(detail));
        EXPECT_EQ(pumps, 0);
    }
}

TEST_F(WebConsultaEAN, JsonThatIsNotAnObjectLeavesWithAnError) {
    const std::vector<Response> throwing = {
        Answer(200, "[1,2]"),
        Answer(200, "\"sucesso\""),
        Answer(400, "[]"),
        Answer(503, "42"),
    };
    for (const Response& response : throwing) {
        SCOPED_TRACE(response.body);
        server.Route(kPath, response);
        EXPECT_THROW(Consult(), Error);
    }
    // Read as anything but JSON, the same body is only content.
    server.Route(kPath, Answer(503, "[1,2]", "text/html"));
    const TRetornoBrisen record = Consult();
    EXPECT_EQ(record.StatusCode, 0);
    EXPECT_EQ(record.Mensagem, Falha("[1,2]"));
}

TEST_F(WebConsultaEAN, OnlyTheLastAnswerStaysInTheDump) {
    server.Route(kPath, Answer(200, R"({"mensagem":"primeira"})"));
    Consult();
    server.Route(kPath, Answer(200, R"({"mensagem":"segunda","ç":"é"})"));
    Consult();
    EXPECT_EQ(dir.Read("BRISEN_RESPOSTA.LOG"),
              "{\r\n    \"mensagem\": \"segunda\",\r\n    \"\xE7\": \"\xE9\"\r\n}\r\n");
    server.Route(kPath, Answer(500, R"({"mensagem":"erro"})"));
    Consult();
    EXPECT_EQ(dir.Read("BRISEN_RESPOSTA.LOG"),
              "{\r\n    \"mensagem\": \"segunda\",\r\n    \"\xE7\": \"\xE9\"\r\n}\r\n");
}

}  // namespace
}  // namespace vr
