#include "output/pending.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>

#include "driver/diagnostics.h"
#include "driver/platform.h"

namespace khex {

namespace {

// The temporary files in a form an interrupt handler can walk: nodes are
// complete before they are linked in, and unlinked before they are freed.
struct TemporaryNode {
    std::unique_ptr<char[]> path;
    volatile std::sig_atomic_t live;
    TemporaryNode* next;
};

struct PendingFile {
    std::string name;       // the final name, as messages show it
    std::string target;     // what the temporary file replaces: the name, or the file a link names
    std::string temporary;  // empty: written directly
    FILE* file;
    FileRole role;
    bool dropped;
    TemporaryNode* node;
};

struct PendingState {
    std::deque<PendingFile> files;
    std::deque<TemporaryNode> nodes;
    std::atomic<TemporaryNode*> head{nullptr};
    unsigned counter = 0;
};
PendingState pending;

PendingFile* find(FILE* file)
{
    for (PendingFile& p : pending.files)
        if (p.file == file)
            return &p;
    return nullptr;
}

// A link is kept: the file it names is the one replaced.
std::string replaced_file(const std::string& name)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_symlink(name, error)) {
        fs::path target = fs::canonical(name, error);
        if (!error)
            return target.string();
    }
    return name;
}

// A short name of its own in the target's directory, so that the rename stays
// on one file system and a long final name cannot make it too long.
FILE* create_temporary(const std::string& target, bool binary, std::string& temporary)
{
    std::filesystem::path directory = std::filesystem::path(target).parent_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = ".khex-" + std::to_string(process_id()) + "-" + std::to_string(++pending.counter) + ".tmp";
        temporary = directory.empty() ? name : (directory / name).string();
        if (FILE* file = create_new_file(temporary, binary))
            return file;
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}

TemporaryNode* publish(const std::string& path)
{
    TemporaryNode& node = pending.nodes.emplace_back();
    node.path = std::make_unique<char[]>(path.size() + 1);
    std::memcpy(node.path.get(), path.c_str(), path.size() + 1);
    node.live = 1;
    node.next = pending.head.load();
    pending.head.store(&node);
    return &node;
}

void remove_temporary(PendingFile& p)
{
    if (p.file)
        std::fclose(p.file);
    p.file = nullptr;
    if (p.node && p.node->live) {
        std::remove(p.temporary.c_str());
        p.node->live = 0;
    }
}

[[noreturn]] void commit_failed(const PendingFile& p)
{
    const char* kind = p.role == FileRole::MAP ? "map" : "output";
    fatal("error writing %s file '%s': %s", kind, p.name.c_str(), std::strerror(errno));
}

}  // namespace

FILE* open_pending(const std::string& name, bool binary, FileRole role)
{
    std::string target = replaced_file(name);
    PendingFile p{name, target, "", nullptr, role, false, nullptr};
    if (file_kind(target) == FileKind::OTHER) {
        p.file = std::fopen(name.c_str(), binary ? "wb" : "w");
    } else {
        p.file = create_temporary(target, binary, p.temporary);
        if (p.file)
            p.node = publish(p.temporary);
    }
    if (!p.file)
        return nullptr;
    pending.files.push_back(std::move(p));
    return pending.files.back().file;
}

bool close_pending(FILE* file)
{
    if (PendingFile* p = find(file))
        p->file = nullptr;  // stays pending: renamed or removed when the run ends
    return std::fclose(file) == 0;
}

void drop_pending(FILE* file)
{
    if (PendingFile* p = find(file)) {
        remove_temporary(*p);
        p->dropped = true;
    }
}

void commit_pending_files()
{
    for (PendingFile& p : pending.files) {
        if (p.dropped)
            continue;
        if (p.file) {
            FILE* file = p.file;
            p.file = nullptr;
            if (std::fclose(file) != 0)
                commit_failed(p);
        }
        if (p.node && p.node->live) {
            if (!replace_file(p.temporary, p.target))
                commit_failed(p);
            p.node->live = 0;
        }
    }
}

void discard_pending_files()
{
    for (PendingFile& p : pending.files)
        remove_temporary(p);
    pending.head.store(nullptr);
    pending.files.clear();
    pending.nodes.clear();
}

void remove_pending_files_now()
{
    for (TemporaryNode* node = pending.head.load(); node; node = node->next)
        if (node->live)
            remove_file_now(node->path.get());
}

}  // namespace khex
