#include <fstream>
#include <random>
#include <system_error>

#include "common/Text.h"
#include "platform/CodePage.h"
#include "webservice/UFuncoesBrisen.h"

namespace vr {

namespace {

// A name no other writer in the directory uses, so two writers never share a temporary file.
std::filesystem::path TemporaryName(const std::filesystem::path& target) {
    std::random_device random;
    std::filesystem::path name = target;
    name += ".tmp" + std::to_string(random()) + std::to_string(random());
    return name;
}

[[noreturn]] void FailWriting(const std::filesystem::path& file, const std::string& reason) {
    throw Error("Não foi possível gravar o arquivo " + file.string() + ": " + reason);
}

}  // namespace

void SalvarJson(std::string_view Json, TTipoJson TipoJson, const TDestinoDump& destino) {
    (void)TipoJson;  // one kind only: every dump is the last answer received
    std::string text;
    text.reserve(Json.size() + Json.size() / 32);
    for (const std::string& line : text::SplitLines(Json)) {
        text += line;
        text += "\r\n";
    }
    const std::filesystem::path file = destino.diretorio / kArquivoDump;
    std::string bytes;
    try {
        bytes = codepage::FromUtf8(text, destino.codePage);
    } catch (const Error& e) {
        FailWriting(file, e.what());
    }

    // Written beside the dump and renamed over it: a crash never leaves half an answer.
    const std::filesystem::path temporary = TemporaryName(file);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) FailWriting(file, "não foi possível criar " + temporary.filename().string());
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            FailWriting(file, "erro de escrita");
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, file, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        FailWriting(file, error.message());
    }
}

}  // namespace vr
