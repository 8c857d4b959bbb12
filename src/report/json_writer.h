#pragma once
// A small JSON writer for the program's machine-readable output: objects,
// arrays, numbers, booleans and strings, written into a string as they come,
// so that the caller prints the whole text at once or nothing. The schema is
// fixed and its keys are constants, so no general JSON library is needed.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class JsonWriter {
public:
    // Where the members or elements of an object or array go: after one
    // another on the line, or each on a line of its own, indented two blanks
    // deeper than the enclosing one-per-line container, the closing bracket on
    // a line of its own.
    enum class Layout { inLine, oneLineEach };

    void beginObject(Layout layout = Layout::inLine);
    void endObject();
    void beginArray(Layout layout = Layout::inLine);
    void endArray();

    // Names the next value of the object being written.
    JsonWriter& key(std::string_view name);

    // Six significant digits, as the report prints numbers; null for a value
    // that is not finite, which JSON cannot write.
    void number(double value);
    void integer(std::int64_t value);
    void boolean(bool value);
    void string(std::string_view text);
    void null();

    // The text so far; once every container is closed, one JSON value and a
    // newline.
    const std::string& text() const { return text_; }

private:
    struct Open {
        Layout layout;
        bool empty;
    };

    void beginValue();
    void open(char bracket, Layout layout);
    void close(char bracket);
    void newLine(std::size_t indentLevels);
    std::size_t oneLineEachDepth() const;

    std::string text_;
    std::vector<Open> open_;
    bool afterKey_ = false;
};
