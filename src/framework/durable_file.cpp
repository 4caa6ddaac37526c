#include "framework/durable_file.h"

#include "framework/own_files.h"

DurableReplacement::DurableReplacement(const OwnFolder& folder, std::string name,
                                       const char* temporarySuffix)
    : m_folder(folder), m_name(std::move(name)), m_temporary(m_name + temporarySuffix) {
    Begin();
}

DurableReplacement::DurableReplacement(const std::string& path, const char* temporarySuffix) {
    m_folder = OwnFolder::OpenParentOf(path, m_name);
    m_temporary = m_name + temporarySuffix;
    Begin();
}

void DurableReplacement::Begin() {
    EntryInfo previous;
    const bool replaces = StatOwnEntry(m_folder, m_name, previous);
    if (replaces && previous.kind != EntryKind::File) {
        return;
    }
    // A temporary file left by an earlier crash is not written through: the
    // new file is created afresh.
    m_file = CreateOwnFile(m_folder, m_temporary);
    if (!m_file.IsOpen()) {
        return;
    }
    m_ok = !replaces || ::SetPermissions(m_file, previous.permissions);
}

FileHandle DurableReplacement::OpenForReading() const {
    return m_file.IsOpen() ? OpenOwnFileForReading(m_folder, m_temporary) : FileHandle();
}

DurableReplacement::~DurableReplacement() {
    Abandon();
}

bool DurableReplacement::Write(const std::string& data) {
    m_ok = m_ok && WriteAll(m_file, data);
    return m_ok;
}

bool DurableReplacement::SetPermissions(std::uint32_t permissions) {
    m_ok = m_ok && ::SetPermissions(m_file, permissions);
    return m_ok;
}

bool DurableReplacement::MakeExecutable() {
    m_ok = m_ok && SetExecutable(m_file);
    return m_ok;
}

DurableReplacement::Result DurableReplacement::Commit() {
    if (!m_file.IsOpen()) {
        return Result::NotWritten;
    }
    bool ok = m_ok && SyncData(m_file);
    ok = m_file.Close() && ok;
    Result result = ok ? Result::Committed : Result::NotWritten;
    if (ok && !RenameOwnFile(m_folder, m_temporary, m_folder, m_name)) {
        result = Result::NotRenamed;
    }
    if (result != Result::Committed) {
        RemoveOwnFile(m_folder, m_temporary);
        return result;
    }
    // The rename is on disk only once the folder is. Should that sync fail,
    // the new file is in place all the same; nothing can be undone.
    SyncFolder(m_folder);
    return result;
}

void DurableReplacement::Abandon() {
    if (!m_file.IsOpen()) {
        return;
    }
    m_file.Close();
    RemoveOwnFile(m_folder, m_temporary);
}
