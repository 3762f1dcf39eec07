#include "bench/cycle/CycleBench.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "common/Error.h"

namespace vr::bench {
namespace {

namespace fs = std::filesystem;

std::string Suffix() { return std::string("/") + kConta + "/" + kCnpj + "/" + kToken; }

// Three kinds of rule in turn: tax substitution, Simples Nacional, taxed at the given rate.
std::string TaxMembers(int i) {
    switch (i % 3) {
        case 0:
            return R"("ncm":"2203.00.00","cest":"03.021.00","idlista":2,"piscofins_cst_entrada":"70",)"
                   R"("piscofins_cst_saida":"04","piscofins_naturezarec":"101","ipi":0,)"
                   R"("icms_saida_csosn":"","icms_saida_cst":"060","icms_saida":0,"base_reduzida":0,)"
                   R"("mva":38.24,"icms_fcp":0,"cod_beneficio":"","cfop_venda":"5405","desoneracao_icms":0)";
        case 1:
            return R"("ncm":"1905.90.90","cest":"","idlista":3,"piscofins_cst_entrada":"50",)"
                   R"("piscofins_cst_saida":"01","piscofins_naturezarec":"","ipi":0,)"
                   R"("icms_saida_csosn":"0102","icms_saida_cst":"","icms_saida":0,"base_reduzida":0,)"
                   R"("mva":0,"icms_fcp":0,"cod_beneficio":"","cfop_venda":"5102","desoneracao_icms":0)";
        default:
            return R"("ncm":"1701.99.00","cest":"","idlista":3,"piscofins_cst_entrada":"73",)"
                   R"("piscofins_cst_saida":"06","piscofins_naturezarec":"105","ipi":0,)"
                   R"("icms_saida_csosn":"","icms_saida_cst":"020","icms_saida":18,"base_reduzida":61.11,)"
                   R"("mva":0,"icms_fcp":2,"cod_beneficio":"SP020001","cfop_venda":"5102","desoneracao_icms":0)";
    }
}

// What the service makes of TaxMembers(i) for a store in SP: the state's 18 % where the answer
// gives no rate, the purchase CFOP from the sale's.
TRetornoBrisen TributoDoTipo(int kind) {
    TRetornoBrisen r;
    switch (kind) {
        case 0:
            r.NCM = "22030000";
            r.Cest = "0302100";
            r.Lista = "P";
            r.CSTPISEntrada = "70";
            r.CSTPISSaida = "04";
            r.NatRec = "101";
            r.TributacaoPDV = "F";
            r.CST_CSOSN = "60";
            r.AliqMVA = 382400;
            r.CFOPCompra = "1403";
            r.CFOPVenda = "5405";
            return r;
        case 1:
            r.NCM = "19059090";
            r.Lista = "U";
            r.CSTPISEntrada = "50";
            r.CSTPISSaida = "01";
            r.AliqPDV = 180000;
            r.TributacaoPDV = "T";
            r.CST_CSOSN = "102";
            r.AliqICMS = 180000;
            r.CFOPCompra = "1102";
            r.CFOPVenda = "5102";
            return r;
        default:
            r.NCM = "17019900";
            r.Lista = "U";
            r.CSTPISEntrada = "73";
            r.CSTPISSaida = "06";
            r.NatRec = "105";
            r.AliqPDV = 180000;
            r.TributacaoPDV = "T";
            r.CST_CSOSN = "20";
            r.AliqICMS = 180000;
            r.AliqReducaoICMS = 611100;
            r.AliqFCP = 20000;
            r.CBNEF = "SP020001";
            r.CFOPCompra = "1102";
            r.CFOPVenda = "5102";
            return r;
    }
}

vr::standin::Response JsonResponse(std::string body) {
    vr::standin::Response response;
    response.headers = {{"Content-Type", "application/json; charset=utf-8"}};
    response.body = std::move(body);
    return response;
}

}  // namespace

std::string FeedPath() { return "/v2.0/atualizacoes" + Suffix(); }
std::string ConsultationPath() { return "/v2.0/consulta-ean" + Suffix(); }

std::string Ean(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "789%010d", i);
    return text;
}

std::string Descricao(int i) { return "PRODUTO " + std::to_string(i) + " AÇÚCAR CRISTAL SÃO JOÃO 1KG"; }

std::string FeedAnswer(int products, int segments) {
    std::string feed = R"({"erro":0,"mensagem":"Atualizações encontradas","produtos_troca_segmento":[)";
    for (int i = 0; i < products; ++i) {
        if (i > 0) feed += ',';
        feed += R"({"ean":")" + Ean(i) + R"(","descricao":")" + Descricao(i) + "\"}";
    }
    feed += R"(],"tributos":[)";
    for (int i = 0; i < segments; ++i) {
        if (i > 0) feed += ',';
        feed += R"({"idsegmento":)" + std::to_string(i + 1) + "," + TaxMembers(i) + "}";
    }
    feed += "]}";
    return feed;
}

std::string ConsultationAnswer(int i) {
    return R"({"mensagem":"sucesso","tributos":[{"ean_cliente":")" + Ean(i) + "\"," + TaxMembers(i) + "}]}";
}

TRetornoBrisen Tributo(int i) { return TributoDoTipo(i % 3); }

// The demo store's schema stands in for the store's database.
Store::Store() : db_({VR_DEMO_SCHEMA}) {
    db_.Execute(
        "INSERT INTO PADRAO (ID, RAZAOSOCIAL, CGC, ESTADO, BRISEN_ID, BRISEN_TOKEN, DIRADOR_DATAULTIMAATUALIZACAO) "
        "VALUES (1, 'Supermercado Boa Esperança Ltda', '12.345.678/0001-95', 'SP', '" +
        std::string(kConta) + "', '" + kToken + "', DATEADD(-7 DAY TO CURRENT_DATE))");
}

void Store::MakeDue() { db_.Execute("UPDATE PADRAO SET DIRADOR_DATAULTIMAATUALIZACAO = DATEADD(-7 DAY TO CURRENT_DATE)"); }

void Store::MakeCurrent() { db_.Execute("UPDATE PADRAO SET DIRADOR_DATAULTIMAATUALIZACAO = CURRENT_DATE"); }

long long Store::Count(const std::string& table) { return std::stoll(db_.Scalar("SELECT COUNT(*) FROM " + table)); }

ServiceDir::ServiceDir(const Store& store) {
    std::random_device random;
    path_ = fs::temp_directory_path() / ("vr-bench-cycle-" + std::to_string(random()));
    fs::create_directories(path_);
    std::ofstream(path_ / "Rivelto.ini", std::ios::binary)
        << "[Rivelto]\r\nServidor=" << test::kServer << "\r\nCaminho=" << store.path() << "\r\n";
}

ServiceDir::~ServiceDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

fs::path ServiceDir::CopyExecutable(const fs::path& executable) const {
    const fs::path copy = path_ / executable.filename();
    fs::copy_file(executable, copy, fs::copy_options::overwrite_existing);
    return copy;
}

Service::Service(int products, int segments)
    : server_({VR_STANDIN_PROGRAM, VR_STANDIN_PYTHON, VR_STANDIN_CERT_DIR}), feed_(FeedAnswer(products, segments)) {
    for (int i = 0; i < products; ++i) consultations_.push_back(JsonResponse(ConsultationAnswer(i)));
    Serve();
}

void Service::Serve() {
    server_.ClearRoutes();
    server_.Route(FeedPath(), JsonResponse(feed_));
    if (!consultations_.empty()) server_.Route(ConsultationPath(), consultations_);
}

void UseStandin(const vr::standin::Server& server) {
    // For the executable run in a child (and the bare loop's own libcurl handle); the module in
    // process is given the address and the CA.
    setenv("VEVOVERAZARA_BASE_URL", server.Origin().c_str(), 1);
    setenv("SSL_CERT_FILE", server.CaFile().c_str(), 1);
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
}

}  // namespace vr::bench
