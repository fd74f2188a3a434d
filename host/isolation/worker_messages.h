// The messages between the host and a filter worker, over a Unix stream
// socket: a request (a batch of files: for each, which filter and which
// path, with the files' open descriptors passed alongside) and a reply (the
// files' records: status, cause, chunks, properties). Each message is a
// 32-bit length and that many bytes; descriptors travel with a message's
// first byte (SCM_RIGHTS).
// The worker is the host's own program, so the encoding is the machine's:
// nothing here is kept or sent elsewhere.
#pragma once

#include "filtering/file_record.h"

#include <string>
#include <string_view>
#include <vector>

namespace host::isolation {

// One file of a batch: the filter the parent found for it, and its path
// (for a filter bound by path, and for the record).
struct FileRequest {
    CLSID clsid{};
    std::u16string modulePath;  // as the parent resolved it
    std::u16string path;
};

// A batch of files for one worker: each file's open descriptor travels with
// the message, in the order of `files`. One message a batch, one answer a
// batch: a worker woken once filters several files.
struct BatchRequest {
    uint32_t sequence = 0;  // the batch's number, as the worker's progress shows it
    Binding binding = Binding::automatic;
    ULONG bufferUnits = 256;
    bool readProperties = false;
    std::vector<FileRequest> files;
};

// The most files (and so descriptors) in one batch.
constexpr size_t kMostBatchFiles = 32;

std::string EncodeRequest(const BatchRequest& request);
bool DecodeRequest(std::string_view bytes, BatchRequest& request);

// The records as the worker filled them, but for their paths and streams,
// which stay with the parent.
// In `into`, whose memory is kept from batch to batch: an answer of large
// texts is megabytes, and new memory costs a fault a page.
void EncodeRecords(const FileRecord* const* records, size_t count, std::string& into);
// An answer comes in one message or several, each of whole records in the
// order of the batch's files: how many records `bytes` held, decoded into
// the first of `records` (at most `most`); 0 for bytes that are not whole
// records (the records are then unspecified).
size_t DecodeRecords(std::string_view bytes, FileRecord* const* records, size_t most);
// An empty answer, after a part: the rest of the batch comes back
// unfiltered, since the texts answered so far were long.

// Sends one message, with the `count` descriptors (not closed here). False
// when the other end is gone.
bool SendMessage(int socket, std::string_view bytes, const int* descriptors = nullptr, size_t count = 0);
// Reads one whole message; the descriptors that came with it go to
// `descriptors` (else they are closed). False at the end of the stream or
// on failure.
bool ReceiveMessage(int socket, std::string& bytes, std::vector<int>* descriptors = nullptr);

}  // namespace host::isolation
