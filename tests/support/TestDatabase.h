#pragma once

// A scratch database on the local Firebird server, created for one test from schema scripts
// as SYSDBA and dropped afterwards. Tests talk to the real server; when it cannot be reached
// the constructor fails saying so.

#include <string>
#include <string_view>
#include <vector>

#include "database/Attachment.h"
#include "database/RowSet.h"
#include "database/Transaction.h"

namespace vr::test {

inline constexpr const char* kServer = "127.0.0.1";

// SYSDBA's password as the server package keeps it.
std::string SysdbaPassword();

// The text of a file in tests/database, or of the file an absolute path names.
std::string SchemaFile(std::string_view name);

// A script that replaces PROC_DIRADOR by the schema's own with a changed parameter list: the
// parameters named in `without` left out, the declarations in `extra` added at the end, and
// `body` (between BEGIN and END) as what it does. Variants of a store's procedure follow the
// one schema so that they never drift from it.
std::string ProcDiradorVariant(const std::vector<std::string>& without, const std::vector<std::string>& extra,
                               std::string_view body);

// Runs a script of statements ended by ";" (or the terminator SET TERM chose), each committed.
void RunScript(db::Attachment& attachment, std::string_view script);

class TestDatabase {
public:
    // scripts: names of files in tests/database (or absolute paths), run in order.
    explicit TestDatabase(const std::vector<std::string>& scripts = {"schema.sql"});
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const std::string& path() const { return path_; }
    // The connection parameters the service builds, pointing at this database.
    std::vector<std::string> ConnectionParams() const;

    // As SYSDBA, each in its own committed transaction.
    void Execute(std::string_view sql);
    void Run(std::string_view script) { RunScript(admin_, script); }
    db::RowSet Query(std::string_view sql);
    // The first column of every row, as text.
    std::vector<std::string> Column(std::string_view sql);
    std::string Scalar(std::string_view sql);

    db::Attachment& admin() { return admin_; }
    // Another attachment, as a second user of the database would have.
    db::Attachment AttachAsSysdba() const;
    db::Attachment AttachAsService() const;

private:
    std::string path_;
    db::Attachment admin_;
};

}  // namespace vr::test
