#include "editor_access.h"

#include "support/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace trellan::test {
namespace {

template <typename Number>
Number NumberOf(const std::vector<BYTE>& value)
{
    Number number{};
    EXPECT_EQ(value.size(), sizeof number);
    std::memcpy(&number, value.data(), std::min(value.size(), sizeof number));
    return number;
}

}  // namespace

std::u16string ReadAttribute::Text() const
{
    EXPECT_EQ(type, WMT_TYPE_STRING);
    EXPECT_EQ(value.size() % 2, 0u);
    EXPECT_GE(value.size(), 2u);
    std::u16string text(value.size() / 2, u'\0');
    std::memcpy(text.data(), value.data(), text.size() * 2);
    EXPECT_EQ(text.back(), u'\0') << "a string value ends with its NUL";
    return text.substr(0, text.find(u'\0'));
}

DWORD ReadAttribute::Dword() const { return NumberOf<DWORD>(value); }
QWORD ReadAttribute::Qword() const { return NumberOf<QWORD>(value); }
WORD ReadAttribute::Word() const { return NumberOf<WORD>(value); }
BOOL ReadAttribute::Bool() const { return NumberOf<BOOL>(value); }

ComPtr<IWMHeaderInfo3> OpenedEditor::Info3() const
{
    ComPtr<IWMHeaderInfo3> info;
    EXPECT_EQ(editor->QueryInterface(IID_IWMHeaderInfo3, info.ReceiveVoid()), S_OK);
    return info;
}

ComPtr<IWMHeaderInfo> OpenedEditor::Info1() const
{
    ComPtr<IWMHeaderInfo> info;
    EXPECT_EQ(editor->QueryInterface(IID_IWMHeaderInfo, info.ReceiveVoid()), S_OK);
    return info;
}

OpenedEditor OpenEditor(const std::string& path)
{
    OpenedEditor opened;
    EXPECT_EQ(WMCreateEditor(opened.editor.Receive()), S_OK);
    if (opened.editor)
        opened.openResult = opened.editor->Open(Utf16(path).c_str());
    return opened;
}

std::vector<ReadAttribute> ReadAllEx(IWMHeaderInfo3* info, WORD stream)
{
    std::vector<ReadAttribute> attributes;
    WORD count = 0;
    EXPECT_EQ(info->GetAttributeCountEx(stream, &count), S_OK);
    for (WORD index = 0; index < count; ++index) {
        WORD nameLength = 0;
        DWORD valueLength = 0;
        EXPECT_EQ(info->GetAttributeByIndexEx(stream, index, nullptr, &nameLength, nullptr, nullptr, nullptr,
                                              &valueLength),
                  S_OK);
        ReadAttribute attribute;
        std::u16string name(nameLength, u'\x7777');
        attribute.value.assign(valueLength, 0xCD);
        EXPECT_EQ(info->GetAttributeByIndexEx(stream, index, name.data(), &nameLength, &attribute.type,
                                              &attribute.language, attribute.value.data(), &valueLength),
                  S_OK);
        EXPECT_EQ(name.size(), nameLength);
        EXPECT_EQ(attribute.value.size(), valueLength);
        EXPECT_EQ(name.back(), u'\0') << "a name ends with its NUL";
        attribute.name = name.substr(0, name.find(u'\0'));
        attributes.push_back(std::move(attribute));
    }
    return attributes;
}

std::vector<ReadAttribute> ReadAllLevel1(IWMHeaderInfo* info)
{
    std::vector<ReadAttribute> attributes;
    WORD count = 0;
    EXPECT_EQ(info->GetAttributeCount(0, &count), S_OK);
    for (WORD index = 0; index < count; ++index) {
        WORD stream = 0;
        WORD nameLength = 0;
        WORD valueLength = 0;
        ReadAttribute attribute;
        EXPECT_EQ(info->GetAttributeByIndex(index, &stream, nullptr, &nameLength, &attribute.type, nullptr,
                                            &valueLength),
                  S_OK);
        std::u16string name(nameLength, u'\x7777');
        attribute.value.assign(valueLength, 0xCD);
        EXPECT_EQ(info->GetAttributeByIndex(index, &stream, name.data(), &nameLength, &attribute.type,
                                            attribute.value.data(), &valueLength),
                  S_OK);
        EXPECT_EQ(stream, 0);
        EXPECT_EQ(name.back(), u'\0');
        attribute.name = name.substr(0, name.find(u'\0'));
        attributes.push_back(std::move(attribute));
    }
    return attributes;
}

std::vector<std::u16string> NamesOf(const std::vector<ReadAttribute>& attributes)
{
    std::vector<std::u16string> names;
    for (const ReadAttribute& attribute : attributes)
        names.push_back(attribute.name);
    return names;
}

const ReadAttribute* Find(const std::vector<ReadAttribute>& attributes, const std::u16string& name)
{
    for (const ReadAttribute& attribute : attributes)
        if (attribute.name == name)
            return &attribute;
    return nullptr;
}

}  // namespace trellan::test
