// C array: a C source file that compiles as C99 and as C++, one array of
// ROM words (uint8_t, uint16_t or uint32_t by the ROM width) per run of
// consecutive words, and a table of the runs: NAME_run_count and
// NAME_runs[] with each run's first device word address, its length and
// its words, NAME being the file's name as a C identifier.
#include <cstdio>
#include <cstring>

#include "output/writers.h"

namespace khex {

namespace {

constexpr uint32_t WORDS_A_LINE = 8;

// The file's name without its folder, every character that cannot stand in a
// C identifier as "_", and "_" before a leading digit: app.c01 gives app_c01.
std::string identifier(const std::string& path)
{
    const size_t cut = path.find_last_of("/\\\\:");
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    for (char& c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            c = '_';
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        name.insert(name.begin(), '_');
    return name;
}

std::string word_type(const WriterContext& w)
{
    return "uint" + std::to_string(8 * w.romwidth) + "_t";
}

void put(WriterContext& w, OutputStream& stream, const std::string& text)
{
    write_text(w, stream, text.data(), text.size());
}

void close_run(WriterContext& w, OutputStream& stream)
{
    if (!stream.run.open)
        return;
    put(w, stream, "\n};\n");
    stream.runs.push_back(stream.run);
    stream.run.open = false;
}

void open_run(WriterContext& w, OutputStream& stream)
{
    close_run(w, stream);
    put(w, stream, "\nstatic const " + word_type(w) + " " + identifier(*stream.name) + "_run" +
                       std::to_string(stream.runs.size()) + "[] = {");
    stream.run = WordRun{w.record_address, 0, {}, true, true};
}

void write_heading(WriterContext& w, OutputStream& stream)
{
    const std::string name = identifier(*stream.name);
    put(w, stream, "/* " + lane_heading(w, stream) + ": the ROM words of each run, and the runs */\n"
                   "#include <stdint.h>\n\n"
                   "#ifdef __cplusplus\nextern \"C\" {\n#endif\n"
                   "extern const uint32_t " + name + "_run_count;\n"
                   "extern const struct " + name + "_run { uint32_t address; uint32_t words; const " +
                   word_type(w) + " *data; } " + name + "_runs[];\n"
                   "#ifdef __cplusplus\n}\n#endif\n");
}

void write_table(WriterContext& w, OutputStream& stream)
{
    const std::string name = identifier(*stream.name);
    put(w, stream, "\nconst uint32_t " + name + "_run_count = " + std::to_string(stream.runs.size()) + "u;\n" +
                       "const struct " + name + "_run " + name + "_runs[] = {\n");
    for (size_t i = 0; i < stream.runs.size(); ++i) {
        char entry[64];
        std::snprintf(entry, sizeof entry, "    {0x%08lxu, %luu, ", static_cast<unsigned long>(stream.runs[i].first),
                      static_cast<unsigned long>(stream.runs[i].words));
        put(w, stream, entry + name + "_run" + std::to_string(i) + "},\n");
    }
    put(w, stream, "};\n");
}

}  // namespace

// Words of op_bytes bytes from data on, each stride bytes after the one
// before, into the open run, 8 a line, straight into the stream's block.
void put_words(WriterContext& w, OutputStream& stream, const uint8_t* data, int words, int op_bytes, int stride)
{
    WordRun& run = stream.run;
    const size_t most = 5 + 2 + 2 * static_cast<size_t>(w.romwidth) + 1;  // a line's start and one word
    for (int k = 0; k < words; ++k, data += stride) {
        char* out = block_room(w, stream, most);
        char* p = out;
        if (run.words % WORDS_A_LINE == 0) {
            std::memcpy(p, "\n    ", 5);
            p += 5;
        } else {
            *p++ = ' ';
        }
        *p++ = '0';
        *p++ = 'x';
        p += word_digits(p, data, op_bytes, w.romwidth);
        *p++ = ',';
        stream.block_used += static_cast<size_t>(p - out);
        ++run.words;
    }
}

// A run of consecutive device words: one run of the file, or the rest of one.
void c_array_run(WriterContext& w, OutputStream& stream, const uint8_t* data, int ops, int op_bytes, int stride,
                 uint32_t address, uint32_t, int)
{
    WordRun& run = stream.run;
    w.record_address = address;
    if (!run.open || address != run.first + run.words)
        open_run(w, stream);
    put_words(w, stream, data, ops, op_bytes, stride);
}

void c_array_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    WordRun& run = stream.run;
    switch (op) {
    case OP_START_FILE:
        write_heading(w, stream);
        break;
    case OP_DATA:
        if (!run.open || w.record_address != run.first + run.words)
            open_run(w, stream);
        put_words(w, stream, data, 1, nbytes, nbytes);
        break;
    case OP_END_FILE:
        close_run(w, stream);
        write_table(w, stream);
        break;
    default:
        break;
    }
}

}  // namespace khex
