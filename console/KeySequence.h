// The register's keyboard keys as the key-sequence and fast-keys dialogs
// compose them: the letter each key adds to a sequence and the bracketed
// label the user sees. Sequences and labels are ANSI.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace console {

struct KeyDef {
    const char* button;  // control name, "Button0".."Button28"
    const char* caption; // UTF-8
    char letter;
    const char* label; // UTF-8
};

// The 28 keys in button order.
std::span<const KeyDef> Keys();
// The key whose button has this name, or null.
const KeyDef* KeyOfButton(std::string_view button);

// A sequence accepts a key while it holds fewer letters than this.
inline constexpr std::size_t MaxSequenceKeys = 32;
// Sequences and labels are kept to this length.
inline constexpr std::size_t MaxSequenceText = 255;

// The labels of a sequence's letters in order; letters of no key add
// nothing.
std::string SequenceToLabels(std::string_view sequence);

// A sequence with its labels.
struct KeySequence {
    std::string letters;
    std::string labels;

    // Appends the key; false (nothing changes) once the sequence is full.
    bool Add(const KeyDef& key);
    void Clear();
};

} // namespace console
