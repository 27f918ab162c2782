// The files of -digest: the digest a signer signs (its bytes, or hex digits
// and a line end) and, with message=, the bytes it was computed over, as
// the writing pass hashes them. Both are output files: they appear whole
// with the run's other files or not at all.
#pragma once
#include "base/diagnostics.h"
#include "memory/values.h"
#include "platform/pending.h"

namespace khex {

// Before the writing pass: each message= file opened; FATAL when one cannot
// be created.
void open_message_files(ValueState& values, PendingFiles& pending, Diagnostics& d);

// After the writing pass: the message files' writes checked and each
// digest's out= file written; their names join values.files_written. FATAL
// when a write failed.
void write_digest_files(ValueState& values, PendingFiles& pending, Diagnostics& d);

}  // namespace khex
