#pragma once
// The story of an alarm on one picture: a contact sheet of six frames from the start of the
// detection episode to the alarm, each with its time, so the intruder's entry is in the alert even
// when the alarm's own frame shows an empty room.

#include "engine/FrameRing.h"

#include <string>
#include <vector>

// Up to count frames spread evenly in time over frames (oldest first), the first and the last
// always among them.
std::vector<StoryFrame> PickStoryFrames(const std::vector<StoryFrame>& frames, std::size_t count = 6);

// The sheet as JPEG bytes: the frames three to a row, each labelled with its local time
// ("03:12:01.4"); empty when there is no frame or none decodes.
std::string MakeStorySheet(const std::vector<StoryFrame>& frames);
