#include "bench/support/BareDirador.h"

#include <firebird/Interface.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>
#include <variant>

#include "common/Error.h"
#include "tax/DiradorParameters.h"

namespace vr::bench {
namespace {

// The statement with one marker per parameter, in the order the procedure declares them.
std::string CallText() {
    std::string sql = "EXECUTE PROCEDURE PROC_DIRADOR(";
    for (std::size_t i = 0; i < ParametrosDirador().size(); ++i) sql += i == 0 ? "?" : ", ?";
    return sql + ")";
}

}  // namespace

BareDirador::BareDirador(db::Attachment attachment)
    : attachment_(std::move(attachment)), status_(attachment_.client()) {
    try {
        Firebird::ITransaction* t = Start();
        statement_ = attachment_.get()->prepare(status_.get(), t, 0, CallText().c_str(), 3,
                                                Firebird::IStatement::PREPARE_PREFETCH_METADATA);
        status_.Check();
        t->commit(status_.get());
        status_.Check();
        metadata_ = statement_->getInputMetadata(status_.get());
        status_.Check();
        ReadLayout();
    } catch (...) {
        Release();
        throw;
    }
}

BareDirador::~BareDirador() { Release(); }

void BareDirador::Release() noexcept {
    if (metadata_ != nullptr) metadata_->release();
    if (statement_ != nullptr) statement_->free(status_.get());
    metadata_ = nullptr;
    statement_ = nullptr;
}

Firebird::ITransaction* BareDirador::Start() {
    static const unsigned char tpb[] = {isc_tpb_version3, isc_tpb_read_committed, isc_tpb_rec_version,
                                        isc_tpb_nowait, isc_tpb_write};
    Firebird::ITransaction* t = attachment_.get()->startTransaction(status_.get(), sizeof tpb, tpb);
    status_.Check();
    return t;
}

// The message is filled by its raw layout: texts as CHAR or VARCHAR, decimals as a 64-bit
// integer with four decimal places, integers as 32 bits. Anything else is refused here rather
// than sent wrong.
void BareDirador::ReadLayout() {
    Firebird::CheckStatusWrapper* st = status_.get();
    const std::span<const TParametroDirador> parametros = ParametrosDirador();
    if (metadata_->getCount(st) != parametros.size()) throw Error("PROC_DIRADOR has another parameter count");
    for (unsigned i = 0; i < parametros.size(); ++i) {
        const unsigned type = metadata_->getType(st, i) & ~1U;
        bool fits = false;
        switch (parametros[i].tipo) {
            case TTipoParametro::tpTexto: fits = type == SQL_TEXT || type == SQL_VARYING; break;
            case TTipoParametro::tpDecimal: fits = type == SQL_INT64 && metadata_->getScale(st, i) == -4; break;
            case TTipoParametro::tpInteiro: fits = type == SQL_LONG; break;
        }
        if (!fits) throw Error(std::string("PROC_DIRADOR's ") + parametros[i].nome + " is not of the table's kind");
        fields_.push_back({metadata_->getOffset(st, i), metadata_->getNullOffset(st, i), metadata_->getLength(st, i),
                           type == SQL_TEXT});
    }
    buffer_.assign(metadata_->getMessageLength(st), 0);
    status_.Check();
}

void BareDirador::Call(const TRetornoBrisen& record, TCaminhoTributo caminho) {
    Fill(record, caminho);
    Firebird::ITransaction* t = Start();
    statement_->execute(status_.get(), t, metadata_, buffer_.data(), nullptr, nullptr);
    if (status_.Failed()) {
        const db::DatabaseError error = status_.ToError();
        t->rollback(status_.get());
        throw error;
    }
    t->commit(status_.get());
    status_.Check();
}

void BareDirador::Fill(const TRetornoBrisen& record, TCaminhoTributo caminho) {
    const std::span<const TParametroDirador> parametros = ParametrosDirador();
    for (std::size_t i = 0; i < parametros.size(); ++i) {
        const Field& field = fields_[i];
        if (!parametros[i].DefinidoEm(caminho)) {
            SetNull(field);
            continue;
        }
        const TValorParametro valor = parametros[i].valor(record, caminho);
        if (const auto* texto = std::get_if<std::string>(&valor)) {
            SetText(field, *texto);
            continue;
        }
        std::memset(buffer_.data() + field.nullOffset, 0, sizeof(short));
        unsigned char* at = buffer_.data() + field.offset;
        if (const auto* decimal = std::get_if<Decimal>(&valor)) {
            std::memcpy(at, decimal, sizeof *decimal);
        } else {
            std::memcpy(at, &std::get<std::int32_t>(valor), sizeof(std::int32_t));
        }
    }
}

void BareDirador::SetNull(const Field& field) {
    const short null = -1;
    std::memcpy(buffer_.data() + field.nullOffset, &null, sizeof null);
}

// Empty text goes as NULL and longer text is cut to the field, as the service sends them; the
// benches' texts are ASCII, so no conversion to the connection's character set is needed.
void BareDirador::SetText(const Field& field, const std::string& value) {
    if (value.empty()) return SetNull(field);
    std::memset(buffer_.data() + field.nullOffset, 0, sizeof(short));
    unsigned char* at = buffer_.data() + field.offset;
    const std::size_t n = std::min<std::size_t>(value.size(), field.length);
    if (field.fixedText) {
        std::memset(at, ' ', field.length);
        std::memcpy(at, value.data(), n);
    } else {
        const auto word = static_cast<unsigned short>(n);
        std::memcpy(at, &word, sizeof word);
        std::memcpy(at + sizeof word, value.data(), n);
    }
}

}  // namespace vr::bench
