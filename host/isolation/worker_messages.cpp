// Encoding of the worker messages, and their trip over the socket. Every
// read of a message is bounds-checked: a worker that dies half-way through a
// reply, or writes nonsense, gives a failed decode, never a bad read.
#include "isolation/worker_messages.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <type_traits>

namespace host::isolation {
namespace {

// The most a message may hold: a record of a file whose texts fill the
// editor's limits, with room to spare.
constexpr uint32_t kMostMessageBytes = 256u << 20;

class Writer {
public:
    template <typename Plain>
    void Put(const Plain& value)
    {
        static_assert(std::is_trivially_copyable_v<Plain>);
        bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    void Put(std::u16string_view text)
    {
        Put(static_cast<uint32_t>(text.size()));
        bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
    }
    void Put(std::string_view text)
    {
        Put(static_cast<uint32_t>(text.size()));
        bytes.append(text);
    }

    std::string bytes;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes(bytes) {}

    template <typename Plain>
    bool Get(Plain& value)
    {
        static_assert(std::is_trivially_copyable_v<Plain>);
        if (bytes.size() - at < sizeof value)
            return false;
        std::memcpy(&value, bytes.data() + at, sizeof value);
        at += sizeof value;
        return true;
    }
    bool Get(std::u16string& text)
    {
        uint32_t units = 0;
        if (!Get(units) || (bytes.size() - at) / sizeof(char16_t) < units)
            return false;
        text.resize(units);
        std::memcpy(text.data(), bytes.data() + at, units * sizeof(char16_t));
        at += units * sizeof(char16_t);
        return true;
    }
    bool Get(std::string& text)
    {
        uint32_t length = 0;
        if (!Get(length) || bytes.size() - at < length)
            return false;
        text.assign(bytes.data() + at, length);
        at += length;
        return true;
    }
    bool Done() const { return at == bytes.size(); }

private:
    std::string_view bytes;
    size_t at = 0;
};

// The properties, field by field, in the order EncodeRecord writes them.
bool ReadProperties(Reader& coder, MediaProperties& properties)
{
    return coder.Get(properties.album) && coder.Get(properties.albumArtist) && coder.Get(properties.genre) &&
           coder.Get(properties.composer) && coder.Get(properties.year) && coder.Get(properties.track) &&
           coder.Get(properties.disc) && coder.Get(properties.duration) && coder.Get(properties.others);
}

void PutRecord(Writer& out, const FileRecord& record)
{
    out.Put(record.status);
    out.Put(std::string_view(record.cause));
    const uint8_t flags = uint8_t(record.outside) | uint8_t(record.noFilter) << 1 | uint8_t(record.byStream) << 2 |
                          uint8_t(record.propertiesRead) << 3 | uint8_t(record.memoryShort) << 4;
    out.Put(flags);
    out.Put(static_cast<uint32_t>(record.chunks.size()));
    for (const ChunkRecord& chunk : record.chunks) {
        STAT_CHUNK stat = chunk.stat;
        if (stat.attribute.psProperty.ulKind != PRSPEC_PROPID)
            stat.attribute.psProperty.lpwstr = nullptr;  // a name in the filter's memory says nothing here
        out.Put(stat);
        out.Put(std::u16string_view(chunk.text));
        out.Put(chunk.valueStatus);
        out.Put(chunk.valueType);
        out.Put(std::u16string_view(chunk.value));
    }
    if (record.propertiesRead) {
        const MediaProperties& p = record.properties;
        out.Put(std::string_view(p.album));
        out.Put(std::string_view(p.albumArtist));
        out.Put(std::string_view(p.genre));
        out.Put(std::string_view(p.composer));
        out.Put(p.year);
        out.Put(p.track);
        out.Put(p.disc);
        out.Put(p.duration);
        out.Put(std::string_view(p.others));
    }
}

bool GetRecord(Reader& in, FileRecord& record)
{
    uint8_t flags = 0;
    uint32_t chunks = 0;
    if (!in.Get(record.status) || !in.Get(record.cause) || !in.Get(flags) || !in.Get(chunks))
        return false;
    record.outside = flags & 1;
    record.noFilter = flags & 2;
    record.byStream = flags & 4;
    record.propertiesRead = flags & 8;
    record.memoryShort = flags & 16;
    record.chunks.clear();
    for (uint32_t i = 0; i < chunks; ++i) {
        ChunkRecord chunk;
        if (!in.Get(chunk.stat) || !in.Get(chunk.text) || !in.Get(chunk.valueStatus) || !in.Get(chunk.valueType) ||
            !in.Get(chunk.value))
            return false;
        if (chunk.stat.attribute.psProperty.ulKind != PRSPEC_PROPID)
            chunk.stat.attribute.psProperty.lpwstr = nullptr;
        record.chunks.push_back(std::move(chunk));
    }
    return !record.propertiesRead || ReadProperties(in, record.properties);
}

bool WriteAll(int socket, const char* data, size_t length)
{
    while (length > 0) {
        const ssize_t put = ::send(socket, data, length, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        length -= static_cast<size_t>(put);
    }
    return true;
}

bool ReadAll(int socket, char* data, size_t length)
{
    while (length > 0) {
        const ssize_t got = ::recv(socket, data, length, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        length -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

std::string EncodeRequest(const BatchRequest& request)
{
    Writer out;
    out.Put(request.sequence);
    out.Put(static_cast<uint8_t>(request.binding));
    out.Put(request.bufferUnits);
    out.Put(static_cast<uint8_t>(request.readProperties));
    out.Put(static_cast<uint32_t>(request.files.size()));
    for (const FileRequest& file : request.files) {
        out.Put(file.clsid);
        out.Put(std::u16string_view(file.modulePath));
        out.Put(std::u16string_view(file.path));
    }
    return std::move(out.bytes);
}

bool DecodeRequest(std::string_view bytes, BatchRequest& request)
{
    Reader in(bytes);
    uint8_t binding = 0, readProperties = 0;
    uint32_t files = 0;
    if (!in.Get(request.sequence) || !in.Get(binding) || !in.Get(request.bufferUnits) || !in.Get(readProperties) ||
        !in.Get(files) || binding > uint8_t(Binding::path) || files > kMostBatchFiles)
        return false;
    request.binding = static_cast<Binding>(binding);
    request.readProperties = readProperties != 0;
    request.files.resize(files);
    for (FileRequest& file : request.files)
        if (!in.Get(file.clsid) || !in.Get(file.modulePath) || !in.Get(file.path))
            return false;
    return in.Done();
}

void EncodeRecords(const FileRecord* const* records, size_t count, std::string& into)
{
    Writer out;
    out.bytes.swap(into);
    out.bytes.clear();
    for (size_t i = 0; i < count; ++i)
        PutRecord(out, *records[i]);
    into.swap(out.bytes);
}

size_t DecodeRecords(std::string_view bytes, FileRecord* const* records, size_t most)
{
    Reader in(bytes);
    size_t decoded = 0;
    while (!in.Done()) {
        if (decoded == most || !GetRecord(in, *records[decoded]))
            return 0;
        ++decoded;
    }
    return decoded;
}

bool SendMessage(int socket, std::string_view bytes, const int* descriptors, size_t count)
{
    const uint32_t length = static_cast<uint32_t>(bytes.size());
    if (bytes.size() > kMostMessageBytes)
        return false;
    // The length and the bytes in one call, so that the other end wakes
    // once; the descriptor, when there is one, with the first byte.
    iovec parts[2] = {{const_cast<uint32_t*>(&length), sizeof length},
                      {const_cast<char*>(bytes.data()), bytes.size()}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    if (count > kMostBatchFiles)
        return false;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMostBatchFiles)] = {};
    if (count > 0) {
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(sizeof(int) * count);
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int) * count);
        std::memcpy(CMSG_DATA(header), descriptors, sizeof(int) * count);
    }
    ssize_t sent;
    do
        sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent <= 0)
        return false;
    // What a full socket buffer left unsent.
    size_t done = static_cast<size_t>(sent);
    if (done < sizeof length) {
        if (!WriteAll(socket, reinterpret_cast<const char*>(&length) + done, sizeof length - done))
            return false;
        done = sizeof length;
    }
    done -= sizeof length;
    return WriteAll(socket, bytes.data() + done, bytes.size() - done);
}

bool ReceiveMessage(int socket, std::string& bytes, std::vector<int>* descriptors)
{
    if (descriptors)
        descriptors->clear();
    // The length first, alone: the next message may follow this one at once
    // (the host keeps several files in flight), and not a byte of it, nor
    // its descriptor, may be taken with this one.
    uint32_t length = 0;
    iovec part{&length, sizeof length};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMostBatchFiles)] = {};
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do
        got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    while (got < 0 && errno == EINTR);
    if (got <= 0)
        return false;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t passed = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < passed; ++i) {
            int descriptor = -1;
            std::memcpy(&descriptor, CMSG_DATA(header) + i * sizeof(int), sizeof descriptor);
            if (descriptors)
                descriptors->push_back(descriptor);
            else
                ::close(descriptor);  // not asked for
        }
    }
    const size_t done = static_cast<size_t>(got);
    if (ReadAll(socket, reinterpret_cast<char*>(&length) + done, sizeof length - done) &&
        length <= kMostMessageBytes) {
        bytes.resize(length);
        if (ReadAll(socket, bytes.data(), length))
            return true;
    }
    bytes.clear();
    if (descriptors) {
        for (const int descriptor : *descriptors)
            ::close(descriptor);  // the message they came with is not whole
        descriptors->clear();
    }
    return false;
}

}  // namespace host::isolation
