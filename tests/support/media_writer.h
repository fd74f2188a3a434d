// Builds media files byte by byte for tests: ASF headers with content
// description, extended content description and metadata objects, and MP3
// files with ID3v2.3/2.4 tags, ID3v1 trailers and silent MPEG frames. Also
// a temporary directory that removes itself with its files.
#pragma once

#include "winapi.h"

#include <string>
#include <vector>

namespace trellan::test {

using Bytes = std::vector<BYTE>;

// ---- ASF ----

// ASF attribute data types, as the file stores them.
enum AsfType : WORD {
    asfString = 0,
    asfBinary = 1,
    asfBool = 2,
    asfDword = 3,
    asfQword = 4,
    asfWord = 5,
    asfGuid = 6,
};

struct AsfAttribute {
    std::u16string name;
    AsfType type = asfString;
    Bytes value;  // as stored: strings UTF-16LE with their NUL
    WORD stream = 0;
    WORD language = 0;
};

AsfAttribute AsfString(const std::u16string& name, const std::u16string& value, WORD stream = 0);
AsfAttribute AsfDword(const std::u16string& name, DWORD value, WORD stream = 0);
AsfAttribute AsfQword(const std::u16string& name, QWORD value, WORD stream = 0);
AsfAttribute AsfWord(const std::u16string& name, WORD value, WORD stream = 0);
// `wide`: a 32-bit BOOL as the Extended Content Description stores it;
// otherwise the 16-bit form of the Metadata objects.
AsfAttribute AsfBool(const std::u16string& name, bool value, bool wide, WORD stream = 0);
AsfAttribute AsfBinary(const std::u16string& name, const Bytes& value, WORD stream = 0);
AsfAttribute AsfGuid(const std::u16string& name, const GUID& value, WORD stream = 0);

struct AsfContent {
    bool contentDescription = true;
    std::u16string title, author, copyright, description, rating;
    std::vector<AsfAttribute> extended;  // Extended Content Description (stream 0)
    std::vector<AsfAttribute> metadata;  // Metadata object in the Header Extension
    std::vector<AsfAttribute> library;   // Metadata Library object in the Header Extension
    bool video = false;                  // a video stream instead of an audio stream
    QWORD playDuration = 10000000;       // of the File Properties object: 1 s in 100-ns units
    QWORD preroll = 0;                   // in milliseconds, part of the play duration
};

// A complete file: Header Object (File Properties, Stream Properties,
// the description objects, Header Extension) and an empty Data Object.
Bytes BuildAsf(const AsfContent& content);

// ---- MP3 ----

enum class Id3Encoding : BYTE { latin1 = 0, utf16 = 1, utf16be = 2, utf8 = 3 };

struct Id3Frame {
    std::string id;  // four characters (three in ID3v2.2)
    Bytes body;
    WORD flags = 0;  // the format flags of 2.3 and 2.4 (compression, ...)
};

Id3Frame Id3Text(const std::string& id, const std::u16string& text, Id3Encoding encoding);
Id3Frame Id3Comment(const std::u16string& description, const std::u16string& text, Id3Encoding encoding);
Id3Frame Id3Lyrics(const std::u16string& text, Id3Encoding encoding);
Id3Frame Id3UserText(const std::u16string& description, const std::u16string& text, Id3Encoding encoding);
Id3Frame Id3Picture(const std::string& mimeType, BYTE pictureType, const std::u16string& description,
                    const Bytes& data);

// A text frame in UTF-16 whose text has no byte-order mark (little-endian),
// as some taggers write it.
Id3Frame Id3TextWithoutMark(const std::string& id, const std::u16string& text);

// How a tag is laid out beyond its frames.
struct Id3Layout {
    size_t padding = 0;           // zero bytes after the frames
    bool unsynchronised = false;  // the whole tag, as 2.2 and 2.3 do it (a 0 after every 0xFF)
    bool plainSizes = false;      // 2.4 frame sizes as plain 32-bit numbers, as one player wrote them
    bool extendedHeader = false;  // 2.3: an extended header before the frames
    bool crc = false;             // with a CRC in it
};

// An ID3v2 tag of version 2.2, 2.3 or 2.4 with the frames in order and
// `padding` zero bytes after them. `unsynchronised`: the whole tag
// unsynchronised, as 2.2 and 2.3 do it (a 0 after every 0xFF).
Bytes BuildId3v2(int majorVersion, const std::vector<Id3Frame>& frames, size_t padding = 0,
                 bool unsynchronised = false);
Bytes BuildId3v2(int majorVersion, const std::vector<Id3Frame>& frames, const Id3Layout& layout);

// An APE tag (version 2.000, with header and footer) of items in order:
// key, value and the item flags (0 text, 2 binary).
struct ApeItem {
    std::string key;
    Bytes value;
    DWORD flags = 0;
};
ApeItem ApeText(const std::string& key, const std::string& utf8);
Bytes BuildApe(const std::vector<ApeItem>& items);
// A Lyrics3 version 2 tag holding `lyrics`.
Bytes BuildLyrics3(const std::string& lyrics);

struct Id3v1Fields {
    std::string title, artist, album, year, comment;
    int track = 0;    // 0: none (an ID3v1.0 comment of 30 bytes)
    int genre = 255;  // 255: none
};
Bytes BuildId3v1(const Id3v1Fields& fields);

// `count` silent MPEG-1 Layer III frames (32 kbit/s, 48 kHz, 96 bytes each).
Bytes SilentMpegFrames(int count);
// One such frame holding a Xing header that counts `frames` frames of
// `bytes` in all.
Bytes XingMpegFrame(DWORD frames, DWORD bytes);

Bytes Concatenate(const std::vector<Bytes>& parts);

// ---- Files ----

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path; }
    std::string PathOf(const std::string& name) const { return path + "/" + name; }
    // Writes `bytes` to a file named `name` and answers its path.
    std::string Write(const std::string& name, const Bytes& bytes) const;

private:
    std::string path;
};

}  // namespace trellan::test
