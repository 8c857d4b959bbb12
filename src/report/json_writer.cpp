#include "report/json_writer.h"

#include <cmath>

#include "hw/hex_text.h"
#include "report/format.h"

namespace {

// Quotes and backslashes escaped, and every byte outside printable ASCII as
// \u00XX, so that whatever the bytes the output stays valid JSON in ASCII.
void appendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7f) {
            out += "\\u00" + byteDigits(byte);
        } else {
            out += c;
        }
    }
    out += '"';
}

} // namespace

void JsonWriter::beginObject(Layout layout)
{
    open('{', layout);
}

void JsonWriter::endObject()
{
    close('}');
}

void JsonWriter::beginArray(Layout layout)
{
    open('[', layout);
}

void JsonWriter::endArray()
{
    close(']');
}

JsonWriter& JsonWriter::key(std::string_view name)
{
    beginValue();
    appendQuoted(text_, name);
    text_ += ": ";
    afterKey_ = true;
    return *this;
}

void JsonWriter::number(double value)
{
    beginValue();
    text_ += std::isfinite(value) ? numberText(value) : "null";
}

void JsonWriter::integer(std::int64_t value)
{
    beginValue();
    text_ += std::to_string(value);
}

void JsonWriter::boolean(bool value)
{
    beginValue();
    text_ += value ? "true" : "false";
}

void JsonWriter::string(std::string_view text)
{
    beginValue();
    appendQuoted(text_, text);
}

void JsonWriter::null()
{
    beginValue();
    text_ += "null";
}

// A value after a key follows it; any other starts a new member or element,
// after a comma unless it is the first.
void JsonWriter::beginValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (open_.empty())
        return;
    Open& container = open_.back();
    if (!container.empty)
        text_ += container.layout == Layout::oneLineEach ? "," : ", ";
    container.empty = false;
    if (container.layout == Layout::oneLineEach)
        newLine(oneLineEachDepth());
}

void JsonWriter::open(char bracket, Layout layout)
{
    beginValue();
    text_ += bracket;
    open_.push_back(Open{layout, true});
}

void JsonWriter::close(char bracket)
{
    const Open container = open_.back();
    if (container.layout == Layout::oneLineEach && !container.empty)
        newLine(oneLineEachDepth() - 1);
    open_.pop_back();
    text_ += bracket;
    if (open_.empty())
        text_ += '\n';
}

void JsonWriter::newLine(std::size_t indentLevels)
{
    text_ += '\n';
    text_.append(2 * indentLevels, ' ');
}

std::size_t JsonWriter::oneLineEachDepth() const
{
    std::size_t depth = 0;
    for (const Open& container : open_)
        if (container.layout == Layout::oneLineEach)
            ++depth;
    return depth;
}
