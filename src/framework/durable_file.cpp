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
        m_error = LastSystemError();
        return;
    }
    m_ok = true;
    Check(!replaces || ::SetPermissions(m_file, previous.permissions));
}

bool DurableReplacement::Check(bool ok) {
    if (m_ok && !ok) {
        m_ok = false;
        m_error = LastSystemError();
    }
    return m_ok;
}

FileHandle DurableReplacement::OpenForReading() const {
    return m_file.IsOpen() ? OpenOwnFileForReading(m_folder, m_temporary) : FileHandle();
}

DurableReplacement::~DurableReplacement() {
    Abandon();
}

bool DurableReplacement::Write(const std::string& data) {
    return m_ok && Check(WriteAll(m_file, data));
}

bool DurableReplacement::MakeExecutable() {
    return m_ok && Check(SetExecutable(m_file));
}

bool DurableReplacement::CopyFrom(const FileHandle& in) {
    if (!m_ok) {
        return false;
    }
    std::int64_t copied = 0;
    const Outcome appended = AppendFileContents(in, m_file, copied);
    if (!appended) {
        m_ok = false;
        m_error = appended.Error().systemError;
        return false;
    }
    EntryInfo source;
    return Check(StatFile(in, source)) && Check(::SetPermissions(m_file, source.permissions));
}

Outcome DurableReplacement::Commit() {
    const auto notWritten = [this] {
        Failure failure = Failure::WithSystemError(FailureKind::FailedToWriteFile, m_error);
        failure.path = m_folder.PathOf(m_name);
        return failure;
    };
    if (!m_file.IsOpen()) {
        return notWritten();
    }
    if (m_ok) {
        Check(SyncData(m_file));
    }
    Check(m_file.Close());
    if (m_ok) {
        Check(RenameOwnFile(m_folder, m_temporary, m_folder, m_name));
    }
    if (!m_ok) {
        RemoveOwnFile(m_folder, m_temporary);
        return notWritten();
    }
    // The rename is on disk only once the folder is. Should that sync fail,
    // the new file is in place all the same; nothing can be undone.
    SyncFolder(m_folder);
    return {};
}

void DurableReplacement::Abandon() {
    if (!m_file.IsOpen()) {
        return;
    }
    m_file.Close();
    RemoveOwnFile(m_folder, m_temporary);
}
