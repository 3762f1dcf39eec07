#include "webservice/AnswerDump.h"

#include "common/Error.h"
#include "platform/CodePage.h"

namespace vr {

namespace {

[[noreturn]] void FailWriting(const std::filesystem::path& file, const std::string& reason) {
    throw Error("Não foi possível gravar o arquivo " + file.string() + ": " + reason);
}

// Text is converted in pieces of about this size, so a large answer is never held twice more.
constexpr std::size_t kPiece = 1u << 20;

// Length of the longest start of text that ends on a whole UTF-8 character.
std::size_t WholeCharacters(std::string_view text) {
    std::size_t end = text.size();
    std::size_t back = 0;
    while (end > 0 && back < 4 && (static_cast<unsigned char>(text[end - 1]) & 0xC0u) == 0x80u) {
        --end;
        ++back;
    }
    if (end == 0) return text.size();
    const auto lead = static_cast<unsigned char>(text[end - 1]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return back + 1 >= length ? text.size() : end - 1;
}

}  // namespace

TDumpWriter::TDumpWriter(const TDestinoDump& destino)
    : codePage_(destino.codePage), file_(destino.diretorio / kArquivoDump) {
    if (!codepage::IsKnown(codePage_)) FailWriting(file_, "página de código desconhecida: " + codePage_);
    // The new dump goes to BRISEN_RESPOSTA.LOG.tmp beside it until Commit; a process killed
    // meanwhile leaves that name to the next dump, which takes it over.
    // Every consultation writes it again and a crash may as well leave it empty: no disk flush.
    out_ = std::make_unique<FileReplacement>(file_, FileReplacement::Durability::kRenamedOnly);
    pending_.reserve(kPiece + 8);
}

// Without Commit the replacement removes its temporary file.
TDumpWriter::~TDumpWriter() = default;

void TDumpWriter::Write(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size(); pos += kPiece) {
        lineBreaks_.Feed(text.substr(pos, kPiece), &pending_);
        if (pending_.size() >= kPiece) Flush(false);
    }
}

void TDumpWriter::Commit() {
    lineBreaks_.Finish(&pending_);
    Flush(true);
    out_->Commit();
}

void TDumpWriter::Flush(bool all) {
    const std::size_t ready = all ? pending_.size() : WholeCharacters(pending_);
    std::string bytes;
    try {
        bytes = codepage::FromUtf8(std::string_view(pending_).substr(0, ready), codePage_);
    } catch (const Error& e) {
        FailWriting(file_, e.what());
    }
    out_->Write(bytes);
    pending_.erase(0, ready);
}

void SalvarJson(std::string_view Json, TTipoJson TipoJson, const TDestinoDump& destino) {
    (void)TipoJson;  // one kind only: every dump is the last answer received
    TDumpWriter writer(destino);
    writer.Write(Json);
    writer.Commit();
}

}  // namespace vr
