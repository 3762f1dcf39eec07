#include "tests/support/TestDatabase.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "common/Error.h"
#include "common/Text.h"
#include "database/Client.h"
#include "database/MessageBuffer.h"
#include "platform/DynamicLibrary.h"

namespace vr::test {
namespace {

namespace fs = std::filesystem;

const db::Client& TheClient() { return db::Client::Load(FirebirdClientLibraryNames()); }

fs::path DatabaseDirectory() {
    // The server runs as its own user and must be able to create files here.
    const fs::path dir = fs::temp_directory_path() / "vr-db-tests";
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::all | fs::perms::sticky_bit, fs::perm_options::replace);
    return dir;
}

std::string UniqueName() {
    std::random_device device;
    std::mt19937_64 generator((static_cast<std::uint64_t>(device()) << 32) ^ device());
    char name[40];
    std::snprintf(name, sizeof name, "t-%016llx.fdb", static_cast<unsigned long long>(generator()));
    return name;
}

db::AttachParams Params(const std::string& path, const std::string& user, const std::string& password) {
    db::AttachParams p;
    p.connectString = std::string(kServer) + "/3050:" + path;
    p.user = user;
    p.password = password;
    p.charSet = "ISO8859_1";
    p.forcedWrites = false;  // scratch data: no need to wait for the disk
    return p;
}

db::Attachment CreateDatabase(const std::string& path) {
    try {
        return db::Attachment::Create(TheClient(), Params(path, "SYSDBA", SysdbaPassword()));
    } catch (const Error& e) {
        throw Error(std::string("Cannot create a test database on the Firebird server at ") + kServer +
                    ":3050 (is it running? scripts/start-firebird starts it): " + e.what());
    }
}

}  // namespace

std::string SysdbaPassword() {
    std::ifstream in("/etc/firebird/3.0/SYSDBA.password");
    if (!in) throw Error("Cannot read /etc/firebird/3.0/SYSDBA.password (Firebird server package not installed?)");
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("ISC_PASSWORD=")) {
            std::string value = line.substr(13);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
            return value;
        }
    }
    throw Error("No ISC_PASSWORD in /etc/firebird/3.0/SYSDBA.password");
}

std::string SchemaFile(std::string_view name) {
    // An absolute path stays as it is.
    const fs::path path = fs::path(VR_TESTS_DATABASE_DIR) / name;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error("Cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ProcDiradorVariant(const std::vector<std::string>& without, const std::vector<std::string>& extra,
                               std::string_view body) {
    const std::string schema = SchemaFile("schema.sql");
    const std::string head = "CREATE PROCEDURE PROC_DIRADOR (";
    const std::size_t start = schema.find(head);
    const std::size_t end = start == std::string::npos ? start : schema.find("\n)", start);
    if (end == std::string::npos) throw Error("schema.sql declares no PROC_DIRADOR parameter list");

    // One declaration per line in the schema; a type such as NUMERIC(15,4) holds a comma itself.
    std::vector<std::string> declarations;
    std::istringstream lines(schema.substr(start + head.size(), end - start - head.size()));
    for (std::string line; std::getline(lines, line);) {
        const auto first = line.find_first_not_of(" \r");
        const auto last = line.find_last_not_of(" ,\r");
        if (first == std::string::npos || last < first) continue;
        const std::string declaration = line.substr(first, last - first + 1);
        const std::string name = declaration.substr(0, declaration.find(' '));
        if (std::find(without.begin(), without.end(), name) == without.end()) declarations.push_back(declaration);
    }
    declarations.insert(declarations.end(), extra.begin(), extra.end());

    std::string script = "SET TERM ^ ;\nCREATE OR ALTER PROCEDURE PROC_DIRADOR (\n";
    for (std::size_t i = 0; i < declarations.size(); ++i) {
        script += "  " + declarations[i] + (i + 1 < declarations.size() ? ",\n" : "\n");
    }
    script += ")\nAS\nBEGIN\n" + std::string(body) + "\nEND^\nSET TERM ; ^\n";
    return script;
}

void RunScript(db::Attachment& attachment, std::string_view script) {
    std::string terminator = ";";
    std::string statement;
    bool inString = false;
    for (std::size_t i = 0; i < script.size(); ++i) {
        const char c = script[i];
        if (!inString && script.substr(i, 2) == "--") {
            while (i < script.size() && script[i] != '\n') ++i;
            statement += '\n';
            continue;
        }
        if (c == '\'') inString = !inString;
        if (!inString && script.substr(i, terminator.size()) == terminator) {
            i += terminator.size() - 1;
            std::string sql = statement;
            statement.clear();
            const auto first = sql.find_first_not_of(" \t\r\n");
            if (first == std::string::npos) continue;
            sql = sql.substr(first);
            if (text::AsciiUpper(sql).starts_with("SET TERM")) {
                std::string rest = sql.substr(8);
                const auto start = rest.find_first_not_of(" \t\r\n");
                const auto end = rest.find_first_of(" \t\r\n", start);
                terminator = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
                continue;
            }
            db::Transaction transaction = db::Transaction::Start(attachment, false);
            try {
                attachment.ExecuteImmediate(transaction, sql);
            } catch (const Error& e) {
                throw Error("Script statement failed: " + std::string(e.what()) + "\nStatement: " + sql);
            }
            transaction.Commit();
            continue;
        }
        statement += c;
    }
}

TestDatabase::TestDatabase(const std::vector<std::string>& scripts)
    : path_((DatabaseDirectory() / UniqueName()).string()), admin_(CreateDatabase(path_)) {
    for (const std::string& script : scripts) RunScript(admin_, SchemaFile(script));
}

TestDatabase::~TestDatabase() {
    try {
        admin_.Drop();
    } catch (...) {
        // Another attachment still open: leave the file; the directory is scratch space.
    }
}

std::vector<std::string> TestDatabase::ConnectionParams() const {
    return {"DriverID=FB",       "Pooled=false",           "Database=" + path_, "User_Name=USUARIO",
            "Password=wenduk",   "Protocol=TCPIP",         std::string("Server=") + kServer,
            "Port=3050",         "SQLDialect=3",           "CharacterSet=ISO8859_1",
            "ExtendedMetaData=False", "OpenMode=Open"};
}

void TestDatabase::Execute(std::string_view sql) {
    db::Transaction transaction = db::Transaction::Start(admin_, false);
    admin_.ExecuteImmediate(transaction, sql);
    transaction.Commit();
}

db::RowSet TestDatabase::Query(std::string_view sql) {
    db::Transaction transaction = db::Transaction::Start(admin_, true);
    db::RowSet rows = db::FetchRows(admin_, transaction, sql);
    transaction.Commit();
    return rows;
}

std::vector<std::string> TestDatabase::Column(std::string_view sql) {
    const db::RowSet rows = Query(sql);
    std::vector<std::string> values;
    for (const auto& row : rows.rows) values.push_back(row.front().null ? "<null>" : db::ReadText(rows.columns.front(), row.front()));
    return values;
}

std::string TestDatabase::Scalar(std::string_view sql) {
    const std::vector<std::string> values = Column(sql);
    if (values.size() != 1) throw Error("Expected one row from: " + std::string(sql));
    return values.front();
}

db::Attachment TestDatabase::AttachAsSysdba() const {
    return db::Attachment::Attach(TheClient(), Params(path_, "SYSDBA", SysdbaPassword()));
}

db::Attachment TestDatabase::AttachAsService() const {
    return db::Attachment::Attach(TheClient(), Params(path_, "USUARIO", "wenduk"));
}

}  // namespace vr::test
