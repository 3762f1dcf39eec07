#include <fstream>
#include <random>
#include <system_error>

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

// Normalises the text's line breaks to CR LF, ends a last line without one, and hands the
// result to `write` in pieces of bounded size, each ending on a whole character, so that a large
// answer is never held twice more in memory.
template <typename Write>
void ForEachPiece(std::string_view json, Write write) {
    constexpr std::size_t kPiece = 1u << 20;
    std::string piece;
    piece.reserve(kPiece + 2);
    const auto flush = [&] {
        write(piece);
        piece.clear();
    };
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < json.size() && json[i + 1] == '\n') ++i;
            piece += "\r\n";
        } else {
            piece += c;
        }
        // Cut only before a byte that starts a character.
        const bool nextStartsCharacter =
            i + 1 >= json.size() || (static_cast<unsigned char>(json[i + 1]) & 0xC0u) != 0x80u;
        if (piece.size() >= kPiece && nextStartsCharacter) flush();
    }
    if (!json.empty() && json.back() != '\r' && json.back() != '\n') piece += "\r\n";
    if (!piece.empty()) flush();
}

}  // namespace

void SalvarJson(std::string_view Json, TTipoJson TipoJson, const TDestinoDump& destino) {
    (void)TipoJson;  // one kind only: every dump is the last answer received
    const std::filesystem::path file = destino.diretorio / kArquivoDump;
    if (!codepage::IsKnown(destino.codePage)) {
        FailWriting(file, "página de código desconhecida: " + destino.codePage);
    }

    // Written beside the dump and renamed over it: a crash never leaves half an answer.
    const std::filesystem::path temporary = TemporaryName(file);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) FailWriting(file, "não foi possível criar " + temporary.filename().string());
        std::string failure;
        try {
            ForEachPiece(Json, [&](const std::string& piece) {
                const std::string bytes = codepage::FromUtf8(piece, destino.codePage);
                out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            });
            out.close();
            if (!out) failure = "erro de escrita";
        } catch (const std::exception& e) {
            failure = e.what();
        }
        if (!failure.empty()) {
            out.close();
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            FailWriting(file, failure);
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
