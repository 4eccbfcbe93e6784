#include "program/UnitUtils.h"

#include <algorithm>

namespace {
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::size_t FieldWidth(int width) {
    return width > 0 ? static_cast<std::size_t>(width) : 0;
}

// Fields are measured in characters, not bytes: texts such as "µl/min" or "ºC" are UTF-8 here,
// and a byte count would shift every column after them and could cut a character in half.
bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Byte offsets of the first `count` characters' ends, walking from the front.
std::size_t BytesOfFirstCharacters(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t n = 0; n < count && i < text.size(); ++n) {
        ++i;
        while (i < text.size() && IsContinuationByte(text[i]))
            ++i;
    }
    return i;
}

std::size_t CharacterCount(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuationByte(c); }));
}

void FirstCommaToDot(std::string& text) {
    const std::size_t comma = text.find(',');
    if (comma != std::string::npos)
        text[comma] = '.';
}
} // namespace

std::string Trim(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return std::string(text.substr(first, last - first));
}

std::string PadRight(std::string_view text, int width) {
    const std::size_t size = FieldWidth(width);
    std::string field(text.substr(0, BytesOfFirstCharacters(text, size)));
    const std::size_t characters = CharacterCount(field);
    if (characters < size)
        field.append(size - characters, ' ');
    FirstCommaToDot(field);
    return field;
}

std::string PadLeft(std::string_view text, int width, bool commaToDot) {
    const std::size_t size = FieldWidth(width);
    const std::size_t characters = CharacterCount(text);
    std::string field;
    if (characters >= size) {
        field.assign(text.substr(BytesOfFirstCharacters(text, characters - size)));
    } else {
        field.assign(size - characters, ' ');
        field.append(text);
    }
    if (commaToDot)
        FirstCommaToDot(field);
    return field;
}

bool IsNoteCharacter(char c) {
    return c == ' ' || c == '%' || c == '*' || c == '/' || c == '@' || (c >= '0' && c <= '9') ||
           (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string EncodeNote(std::string_view note) {
    std::string encoded;
    encoded.reserve(note.size());
    for (char c : note)
        if (IsNoteCharacter(c))
            encoded.push_back(c == ' ' ? '_' : c);
    return encoded;
}

std::string DelimitedField(std::string_view text, char delimiter, int n) {
    if (n < 1 || text.empty())
        return {};
    std::size_t start = 0;
    for (int field = 1; field < n; ++field) {
        const std::size_t next = text.find(delimiter, start);
        if (next == std::string_view::npos)
            return {};
        start = next + 1;
    }
    const std::size_t end = text.find(delimiter, start);
    return std::string(text.substr(start, end == std::string_view::npos ? end : end - start));
}

std::size_t Utf8CharacterLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 1 || pos + length > text.size())
        return 1;
    for (std::size_t i = 1; i < length; ++i)
        if (!IsContinuationByte(text[pos + i]))
            return 1;
    return length;
}

std::string UpperCaseAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}
