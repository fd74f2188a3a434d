// A filter object for unit tests of the filter alone: WMFilter with a
// plain reference count, and a window on its state.
#pragma once

#include "wm_filter.h"

#include <string>

namespace trellan {

struct WMFilterInspector {
    static ULONG TextPosition(const WMFilter& f) { return f.textPosition; }
    static bool ValueDelivered(const WMFilter& f) { return f.valueDelivered; }
    static bool Initialized(const WMFilter& f) { return f.initialized; }
    static LPCWSTR FilePath(const WMFilter& f) { return f.filePath; }
    static std::u16string BodyText(const WMFilter& f) { return {f.bodyText.begin(), f.bodyText.end()}; }
    static std::u16string Title(const WMFilter& f) { return {f.title.begin(), f.title.end()}; }
    static std::u16string Author(const WMFilter& f) { return {f.author.begin(), f.author.end()}; }
    static std::u16string Description(const WMFilter& f) { return {f.description.begin(), f.description.end()}; }
};

namespace test {

class TestFilter final : public WMFilter {
public:
    TestFilter() = default;
    ~TestFilter() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refCount); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refCount); }

    ULONG TextPosition() const { return WMFilterInspector::TextPosition(*this); }
    bool ValueDelivered() const { return WMFilterInspector::ValueDelivered(*this); }
    bool Initialized() const { return WMFilterInspector::Initialized(*this); }
    LPCWSTR FilePath() const { return WMFilterInspector::FilePath(*this); }
    std::u16string BodyText() const { return WMFilterInspector::BodyText(*this); }
    std::u16string Title() const { return WMFilterInspector::Title(*this); }
    std::u16string Author() const { return WMFilterInspector::Author(*this); }
    std::u16string Description() const { return WMFilterInspector::Description(*this); }
};

}  // namespace test
}  // namespace trellan
