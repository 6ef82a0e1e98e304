#include "mail/EntryKinds.h"

namespace {

constexpr EntryKind kKinds[] = {
    {"picture", "Sentivo: a picture was taken", true},
    // The contact sheet of the episode that led to a picture: travels with it.
    {"story", "Sentivo: the story of an alarm", true, "-story.jpg"},
    {"camera lost", "Sentivo: camera lost", false},
    {"camera back", "Sentivo: camera back", false},
    {"disk nearly full", "Sentivo: disk nearly full", false},
    // The tamper guard's: the view covered, turned away or dark, and back.
    {"camera covered", "Sentivo: camera covered", false},
    {"camera moved", "Sentivo: camera moved", false},
    {"view went dark", "Sentivo: view went dark", false},
    {"view restored", "Sentivo: view restored", false},
    // Told by the channels other than mail: a run that ended, an arming that failed.
    {"run ended", "Sentivo: run ended", false},
    {"arming failed", "Sentivo: arming failed", false},
};

}  // namespace

const EntryKind* FindEntryKind(std::string_view name)
{
    for (const EntryKind& kind : kKinds)
        if (kind.name == name)
            return &kind;
    return nullptr;
}

std::string AttachmentName(const EntryKind& kind, std::int64_t pictureNumber)
{
    return kind.picture ? "pic_" + std::to_string(pictureNumber) + std::string(kind.suffix) : "camera.jpg";
}

bool IsJpeg(std::string_view bytes)
{
    return bytes.size() >= 4 && bytes.starts_with("\xFF\xD8\xFF") && bytes.ends_with("\xFF\xD9");
}
