// The chunks of a RIFF file (WAVE), walked for the ID3v2 tag that taggers
// keep in an "id3 " or "ID3 " chunk, before or after the audio, when they
// tag MPEG audio in a RIFF container named .mp3.
#pragma once

#include "media_file.h"

#include <cstdint>
#include <vector>

namespace platform {

// True when the file begins with a RIFF header.
bool StartsWithRiff(const std::vector<BYTE>& head);

// Where the data of the first ID3 chunk begins: found when a chunk of that
// name lies whole inside the file, reached through chunks that each have a
// printable id and lie inside the file. The walk goes to the end of the
// file, not of the RIFF size: some taggers append the chunk there.
bool FindRiffId3Chunk(const MediaFile& file, uint64_t& dataStart);

}  // namespace platform
