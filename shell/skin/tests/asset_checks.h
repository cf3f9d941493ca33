// Checks of the program data that ships beside the executable: sounds, reference lists and
// the web search catalogue, read the way the program reads them. Used by the asset tests;
// each check says what is wrong instead of crashing on a bad file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ov::skin {

struct WavInfo {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    double seconds = 0;
    double rms = 0;  // of all samples, 0..1 of full scale
    int peak = 0;    // largest magnitude
};

// A RIFF WAVE file of 16-bit PCM; false with *problem set otherwise.
bool ReadWav(std::string_view bytes, WavInfo* info, std::string* problem);

// Records of a reference list: a number (decimal, or hexadecimal for locations) followed by
// names, whitespace-separated, read until the end of the text or the first record that does
// not parse.
struct ListRecord {
    unsigned code = 0;
    std::vector<std::string> names;
};
std::vector<ListRecord> ReadList(std::string_view text, bool hexCode, int names);

// The web search catalogue: categories with their entries.
struct SearchEntry {
    int number = 0;
    std::string name, key, urlTemplate;
};
struct SearchCategory {
    std::string name;
    std::vector<SearchEntry> entries;
};
// Lines split at line feeds and trimmed; empty lines and ';' comments skipped; ":end" ends the
// catalogue; "[name]" starts a category; "search(number, name, key, template)" adds an entry
// to the category above it (entries before any category are kept in an unnamed one).
std::vector<SearchCategory> ReadSearchCatalogue(std::string_view text);

}  // namespace ov::skin
