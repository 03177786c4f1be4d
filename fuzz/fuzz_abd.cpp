// Feeds arbitrary bytes to the scene-file reader. Whatever it accepts must
// save and load again to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/Messages.h"
#include "scene/BodyDoc.h"
#include "scene/SceneFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static qm::RecordingMessages messages;
    static qm::SceneViewState view;
    static std::unique_ptr<qm::CBodyDoc> doc = [] {
        auto d = std::make_unique<qm::CBodyDoc>(messages);
        d->AttachViewState(&view);
        return d;
    }();

    messages.shown.clear();
    if (qm::LoadScene(*doc, data, size, "fuzz") != qm::LoadResult::Ok)
        return 0;
    const std::vector<uint8_t> saved = qm::SaveScene(*doc);
    if (qm::LoadScene(*doc, saved.data(), saved.size(), "fuzz") != qm::LoadResult::Ok)
        std::abort();
    if (qm::SaveScene(*doc) != saved)
        std::abort();
    return 0;
}
