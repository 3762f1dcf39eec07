#pragma once

// PROC_DIRADOR called by hand, the floor the benches measure the service against: one EXECUTE
// PROCEDURE prepared once on the client API, its input message filled for each call straight
// from the procedure's parameter table, each call in its own committed transaction. No
// normalisation, no bounded calls, no reconnecting: only what any caller must do.

#include <string>
#include <vector>

#include "database/Attachment.h"
#include "database/Client.h"
#include "tax/TaxRecord.h"

namespace Firebird {
class IStatement;
class IMessageMetadata;
class ITransaction;
}  // namespace Firebird

namespace vr::bench {

class BareDirador {
public:
    // Prepares the call on an attachment as the service's user. Throws db::DatabaseError with
    // the server's reason, or vr::Error when the procedure's parameters are not of the kinds
    // the table gives them.
    explicit BareDirador(db::Attachment attachment);
    ~BareDirador();
    BareDirador(const BareDirador&) = delete;
    BareDirador& operator=(const BareDirador&) = delete;

    void Call(const TRetornoBrisen& record, TCaminhoTributo caminho);

private:
    // Where one parameter lies in the message.
    struct Field {
        unsigned offset;
        unsigned nullOffset;
        unsigned length;
        bool fixedText;  // CHAR: padded with blanks; otherwise VARCHAR when text
    };

    void Release() noexcept;
    Firebird::ITransaction* Start();
    void ReadLayout();
    void Fill(const TRetornoBrisen& record, TCaminhoTributo caminho);
    void SetText(const Field& field, const std::string& value);
    void SetNull(const Field& field);

    db::Attachment attachment_;
    db::Status status_;
    Firebird::IStatement* statement_ = nullptr;
    Firebird::IMessageMetadata* metadata_ = nullptr;
    std::vector<Field> fields_;
    std::vector<unsigned char> buffer_;
};

}  // namespace vr::bench
