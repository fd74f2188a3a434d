// The owner of at most one open registry key.
#pragma once

#include "winapi.h"

namespace trellan {

class KeyHolder {
public:
    KeyHolder() = default;
    ~KeyHolder() { Close(); }
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;

    // Opens `name` under `parent`. On failure the error is answered and the
    // holder keeps what it held. On success the key held before is closed
    // and the result of that close is answered.
    LONG Open(HKEY parent, LPCWSTR name, REGSAM access);

    // Closes the held key (a borrowed one is only let go); the holder is
    // then empty. Answers the close result, 0 when nothing was closed.
    LONG Close();

    // Holds `key` from now on and closes it when done. Call when empty.
    void Attach(HKEY key);

    // Uses `key` for one operation without owning it.
    void Borrow(HKEY key);

    HKEY Get() const { return key; }

private:
    HKEY key = nullptr;
    bool owned = false;
};

}  // namespace trellan
