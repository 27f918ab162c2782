#include "platform/pending.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/platform.h"

namespace khex {

// The temporary files of every run in the process, in a list an interrupt
// handler can walk while runs go on: nodes are published whole, never freed,
// and reused only through their state; a node's path is read only while it
// is live. This list is the process's one piece of shared state.
struct InterruptNode {
    enum State { FREE, CLAIMED, LIVE };
    std::atomic<int> state;
    size_t capacity;
    char* path;
    InterruptNode* next;  // fixed once the node is published
};

namespace {

constexpr size_t NODE_PATH_ROOM = 256;

std::atomic<InterruptNode*> interrupt_list{nullptr};

bool claim(InterruptNode& node, size_t needed)
{
    int expected = InterruptNode::FREE;
    return node.capacity >= needed && node.state.compare_exchange_strong(expected, InterruptNode::CLAIMED);
}

InterruptNode* publish(const std::string& path)
{
    const size_t needed = path.size() + 1;
    for (InterruptNode* node = interrupt_list.load(); node; node = node->next) {
        if (claim(*node, needed)) {
            std::memcpy(node->path, path.c_str(), needed);
            node->state.store(InterruptNode::LIVE);
            return node;
        }
    }
    auto* node = new InterruptNode;
    node->capacity = std::max(needed, NODE_PATH_ROOM);
    node->path = new char[node->capacity];
    std::memcpy(node->path, path.c_str(), needed);
    node->state.store(InterruptNode::LIVE);
    node->next = interrupt_list.load();
    while (!interrupt_list.compare_exchange_weak(node->next, node)) {
    }
    return node;
}

void withdraw(PendingFile& p)
{
    p.node->state.store(InterruptNode::FREE);
    p.node = nullptr;
}

PendingFile* find(PendingFiles& pending, FILE* file)
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
FILE* create_temporary(PendingFiles& pending, const std::string& target, bool binary, std::string& temporary)
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

void remove_temporary(PendingFile& p)
{
    if (p.file)
        std::fclose(p.file);
    p.file = nullptr;
    if (p.node) {
        std::remove(p.temporary.c_str());
        withdraw(p);
    }
}

}  // namespace

const char* role_word(FileRole role)
{
    switch (role) {
    case FileRole::OUTPUT: return "output";
    case FileRole::MAP: return "map";
    case FileRole::DEPENDENCY: return "dependency";
    }
    return "output";
}

FILE* open_pending(PendingFiles& pending, const std::string& name, bool binary, FileRole role)
{
    std::string target = replaced_file(name);
    PendingFile p{name, target, "", nullptr, role, false, nullptr};
    if (file_kind(target) == FileKind::OTHER) {
        p.file = std::fopen(name.c_str(), binary ? "wb" : "w");
    } else {
        p.file = create_temporary(pending, target, binary, p.temporary);
        if (p.file)
            p.node = publish(p.temporary);
    }
    if (!p.file)
        return nullptr;
    pending.files.push_back(std::move(p));
    return pending.files.back().file;
}

bool close_pending(PendingFiles& pending, FILE* file)
{
    if (PendingFile* p = find(pending, file))
        p->file = nullptr;  // stays pending: renamed or removed when the run ends
    return std::fclose(file) == 0;
}

void drop_pending(PendingFiles& pending, FILE* file)
{
    if (PendingFile* p = find(pending, file)) {
        remove_temporary(*p);
        p->dropped = true;
    }
}

bool make_folders(PendingFiles& pending, const std::string& name)
{
    namespace fs = std::filesystem;
    std::error_code error;
    std::deque<fs::path> missing;
    for (fs::path folder = fs::path(name).parent_path(); !folder.empty() && !fs::exists(folder, error);
         folder = folder.parent_path())
        missing.push_front(folder);
    for (const fs::path& folder : missing) {
        if (!fs::create_directory(folder, error)) {
            errno = error ? error.value() : EEXIST;
            return false;
        }
        pending.made_folders.push_back(folder.string());
    }
    return true;
}

bool commit_pending_files(PendingFiles& pending, const PendingFile*& failed)
{
    for (PendingFile& p : pending.files) {
        failed = &p;
        if (p.dropped)
            continue;
        if (p.file) {
            FILE* file = p.file;
            p.file = nullptr;
            if (std::fclose(file) != 0)
                return false;
        }
        if (p.node) {
            if (!replace_file(p.temporary, p.target))
                return false;
            withdraw(p);
        }
    }
    failed = nullptr;
    pending.made_folders.clear();  // the files are in them now
    return true;
}

bool adopt_pending_files(PendingFiles& into, PendingFiles& from, const PendingFile*& failed)
{
    for (PendingFile& p : from.files) {
        failed = &p;
        if (p.file) {
            FILE* file = p.file;
            p.file = nullptr;
            if (std::fclose(file) != 0)
                return false;
        }
    }
    failed = nullptr;
    for (PendingFile& p : from.files)
        into.files.push_back(std::move(p));
    from.files.clear();
    for (std::string& folder : from.made_folders)
        into.made_folders.push_back(std::move(folder));
    from.made_folders.clear();
    return true;
}

void discard_pending_files(PendingFiles& pending)
{
    for (PendingFile& p : pending.files)
        remove_temporary(p);
    pending.files.clear();
    // the innermost first; a folder that holds something else stays
    std::error_code error;
    for (auto it = pending.made_folders.rbegin(); it != pending.made_folders.rend(); ++it)
        std::filesystem::remove(*it, error);
    pending.made_folders.clear();
}

void remove_pending_files_now()
{
    for (InterruptNode* node = interrupt_list.load(); node; node = node->next)
        if (node->state.load() == InterruptNode::LIVE)
            remove_file_now(node->path);
}

}  // namespace khex
