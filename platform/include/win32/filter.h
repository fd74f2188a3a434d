// The indexing host's filter interface: IFilter, STAT_CHUNK, FULLPROPSPEC,
// the filter status codes and the property sets of the chunks.
#pragma once

#include "ole32.h"

DECLARE_PLATFORM_GUID(IID_IFilter);
DECLARE_PLATFORM_GUID(FMTID_SummaryInformation);

#define PSGUID_STORAGE                                                  \
    {                                                                   \
        0xb725f130, 0x47ef, 0x101a, { 0xa5, 0xf1, 0x02, 0x60, 0x8c, 0x9e, 0xeb, 0xac } \
    }
#define PID_STG_CONTENTS ((PROPID)0x00000013)
#define PIDSI_TITLE 0x00000002L
#define PIDSI_SUBJECT 0x00000003L
#define PIDSI_AUTHOR 0x00000004L
#define PIDSI_KEYWORDS 0x00000005L
#define PIDSI_COMMENTS 0x00000006L

#define PRSPEC_LPWSTR 0
#define PRSPEC_PROPID 1

struct PROPSPEC {
    ULONG ulKind;
    union {
        PROPID propid;
        LPOLESTR lpwstr;
    };
};

struct FULLPROPSPEC {
    GUID guidPropSet;
    PROPSPEC psProperty;
};

enum CHUNK_BREAKTYPE {
    CHUNK_NO_BREAK = 0,
    CHUNK_EOW = 1,
    CHUNK_EOS = 2,
    CHUNK_EOP = 3,
    CHUNK_EOC = 4,
};

enum CHUNKSTATE {
    CHUNK_TEXT = 0x1,
    CHUNK_VALUE = 0x2,
    CHUNK_FILTER_OWNED_VALUE = 0x4,
};

struct STAT_CHUNK {
    ULONG idChunk;
    CHUNK_BREAKTYPE breakType;
    CHUNKSTATE flags;
    LCID locale;
    FULLPROPSPEC attribute;
    ULONG idChunkSource;
    ULONG cwcStartSource;
    ULONG cwcLenSource;
};

struct FILTERREGION {
    ULONG idChunk;
    ULONG cwcStart;
    ULONG cwcExtent;
};

enum IFILTER_INIT {
    IFILTER_INIT_CANON_PARAGRAPHS = 1,
    IFILTER_INIT_HARD_LINE_BREAKS = 2,
    IFILTER_INIT_CANON_HYPHENS = 4,
    IFILTER_INIT_CANON_SPACES = 8,
    IFILTER_INIT_APPLY_INDEX_ATTRIBUTES = 16,
    IFILTER_INIT_APPLY_OTHER_ATTRIBUTES = 32,
    IFILTER_INIT_INDEXING_ONLY = 64,
    IFILTER_INIT_SEARCH_LINKS = 128,
    IFILTER_INIT_APPLY_CRAWL_ATTRIBUTES = 256,
    IFILTER_INIT_FILTER_OWNED_VALUE_OK = 512,
};

struct IFilter : IUnknown {
    virtual SCODE STDMETHODCALLTYPE Init(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes,
                                         ULONG* pFlags) = 0;
    virtual SCODE STDMETHODCALLTYPE GetChunk(STAT_CHUNK* pStat) = 0;
    virtual SCODE STDMETHODCALLTYPE GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) = 0;
    virtual SCODE STDMETHODCALLTYPE GetValue(PROPVARIANT** ppPropValue) = 0;
    virtual SCODE STDMETHODCALLTYPE BindRegion(FILTERREGION origPos, REFIID riid, void** ppunk) = 0;
};

#define FILTER_E_END_OF_CHUNKS ((HRESULT)0x80041700)
#define FILTER_E_NO_MORE_TEXT ((HRESULT)0x80041701)
#define FILTER_E_NO_MORE_VALUES ((HRESULT)0x80041702)
#define FILTER_E_ACCESS ((HRESULT)0x80041703)
#define FILTER_W_MONIKER_CLIPPED ((HRESULT)0x00041704)
#define FILTER_E_NO_TEXT ((HRESULT)0x80041705)
#define FILTER_E_NO_VALUES ((HRESULT)0x80041706)
#define FILTER_E_EMBEDDING_UNAVAILABLE ((HRESULT)0x80041707)
#define FILTER_E_LINK_UNAVAILABLE ((HRESULT)0x80041708)
#define FILTER_S_LAST_TEXT ((HRESULT)0x00041709)
#define FILTER_S_LAST_VALUES ((HRESULT)0x0004170A)
#define FILTER_E_PASSWORD ((HRESULT)0x8004170B)
#define FILTER_E_UNKNOWNFORMAT ((HRESULT)0x8004170C)
