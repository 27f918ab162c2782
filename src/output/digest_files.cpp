#include "output/digest_files.h"

#include <cerrno>
#include <cstring>

namespace khex {

namespace {

[[noreturn]] void failed_write(Diagnostics& d, const std::string& name, int error)
{
    fatal(d, "error writing output file '%s': %s", name.c_str(), std::strerror(error));
}

}  // namespace

void open_message_files(ValueState& values, PendingFiles& pending, Diagnostics& d)
{
    for (Value& v : values.digests) {
        if (v.message_name.empty())
            continue;
        v.message = open_pending(pending, v.message_name, true, FileRole::OUTPUT);
        if (!v.message)
            fatal(d, "cannot create output file '%s': %s", v.message_name.c_str(), std::strerror(errno));
    }
}

void write_digest_files(ValueState& values, PendingFiles& pending, Diagnostics& d)
{
    for (Value& v : values.digests) {
        if (v.message) {
            FILE* message = v.message;
            v.message = nullptr;
            if (v.message_error != 0)
                failed_write(d, v.message_name, v.message_error);
            if (!close_pending(pending, message))
                failed_write(d, v.message_name, errno);
            values.files_written.push_back(v.message_name);
        }
        if (v.out_name.empty())
            continue;
        const bool raw = v.encoding == DIGEST_RAW;
        FILE* out = open_pending(pending, v.out_name, raw, FileRole::OUTPUT);
        if (!out)
            fatal(d, "cannot create output file '%s': %s", v.out_name.c_str(), std::strerror(errno));
        const std::string text = value_hex(v) + "\n";
        const bool ok = raw ? std::fwrite(v.bytes.data(), 1, v.bytes.size(), out) == v.bytes.size()
                            : std::fputs(text.c_str(), out) >= 0;
        const int error = errno;
        if (!close_pending(pending, out) || !ok)
            failed_write(d, v.out_name, ok ? errno : error);
        values.files_written.push_back(v.out_name);
    }
}

}  // namespace khex
