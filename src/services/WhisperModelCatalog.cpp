#include "services/WhisperModelCatalog.h"

#include <array>

namespace quonvera {
namespace {

struct CatalogEntry {
    WhisperModel model;
    std::string_view identifier;
    std::string_view sizeText;
    GgmlModelFile file;
};

// The identifiers name OpenAI's Whisper checkpoints; the files are their ggml conversions in the
// whisper.cpp model repository (https://huggingface.co/ggerganov/whisper.cpp). `large` is the
// large-v2 checkpoint, not large-v3. Sizes and SHA-256 values are those the repository publishes
// for each file.
const std::array<CatalogEntry, 7>& catalog() {
    static const std::array<CatalogEntry, 7> entries = {{
        {WhisperModel::tiny, "openai_whisper-tiny", "~75 MB",
         {"ggml-tiny.bin", 77691713, "be07e048e1e599ad46341c8d2a135645097a538221678b7acdd1b1919c6e1b21"}},
        {WhisperModel::base, "openai_whisper-base", "~150 MB",
         {"ggml-base.bin", 147951465, "60ed5bc3dd14eea856493d334349b405782ddcaf0028d4b5df4088345fba2efe"}},
        {WhisperModel::small, "openai_whisper-small", "~500 MB",
         {"ggml-small.bin", 487601967, "1be3a9b2063867b937e64e2ec7483364a79917e157fa98c5d94b5c1fffea987b"}},
        {WhisperModel::medium, "openai_whisper-medium", "~1.5 GB",
         {"ggml-medium.bin", 1533763059, "6c14d5adee5f86394037b4e4e8b59f1673b6cee10e3cf0b11bbdbee79c156208"}},
        {WhisperModel::large, "openai_whisper-large-v2", "~3 GB",
         {"ggml-large-v2.bin", 3094623691, "9a423fe4d40c82774b6af34115b8b935f34152246eb19e80e376071d3f999487"}},
        {WhisperModel::largeV3, "openai_whisper-large-v3", "~3 GB",
         {"ggml-large-v3.bin", 3095033483, "64d182b440b98d5203c4f9bd541544d84c605196c4f7b845dfa11fb23594d1e2"}},
        {WhisperModel::largeV3Turbo, "openai_whisper-large-v3_turbo", "~1.6 GB",
         {"ggml-large-v3-turbo.bin", 1624555275, "1fc70f774d38eb169993ac391eea357ef47c88757ef72ee5943879b7e8e2bc69"}},
    }};
    return entries;
}

const CatalogEntry& entryFor(WhisperModel model) {
    for (const auto& entry : catalog())
        if (entry.model == model) return entry;
    return catalog().back();
}

}  // namespace

std::string_view modelIdentifier(WhisperModel model) { return entryFor(model).identifier; }

std::string_view downloadSizeText(WhisperModel model) { return entryFor(model).sizeText; }

std::optional<GgmlModelFile> ggmlModelFile(std::string_view identifier) {
    for (const auto& entry : catalog())
        if (entry.identifier == identifier) return entry.file;
    return std::nullopt;
}

}  // namespace quonvera
