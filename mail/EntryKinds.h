#pragma once
// The kinds of mail the outbox holds, in one table: an outbox file of any other kind is not ours
// and is never mailed. The mail's subject and its attachment's name come from here and the
// entry's number, never from a file's text.

#include <cstdint>
#include <string>
#include <string_view>

struct EntryKind {
    std::string_view name;      // as the outbox file and the run call it: "picture", "camera lost"...
    std::string_view subject;   // of a mail holding one entry of this kind
    bool picture;               // an alarm picture or its story (numbered, travels with others); else
                                // an alert, alone
    std::string_view suffix = ".jpg";   // of a numbered attachment: "pic_12.jpg", "pic_12-story.jpg"
};

// The kind called name; null when there is none.
const EntryKind* FindEntryKind(std::string_view name);

// The attachment's name: "pic_12.jpg" for picture 12 and "pic_12-story.jpg" for its story sheet, as
// the pictures folder names them; an alert's frame is "camera.jpg".
std::string AttachmentName(const EntryKind& kind, std::int64_t pictureNumber);

// Whole JPEG data: a start-of-image marker first and an end-of-image marker last.
bool IsJpeg(std::string_view bytes);
