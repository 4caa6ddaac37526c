#include "framework/own_files.h"

bool ReadOwnFile(const OwnFolder& folder, const std::string& name, std::size_t maxBytes,
                 std::string& content) {
    const FileHandle file = OpenOwnFileForReading(folder, name);
    EntryInfo info;
    bool ok =
        file.IsOpen() && StatFile(file, info) && static_cast<std::uint64_t>(info.size) <= maxBytes;
    content.assign(ok ? static_cast<std::size_t>(info.size) : 0, '\0');
    for (std::size_t done = 0; ok && done < content.size();) {
        std::size_t got = 0;
        ok = ReadSome(file, content.data() + done, content.size() - done, got) && got > 0;
        done += got;
    }
    return ok;
}

bool IsSameOwnEntry(const OwnFolder& folder, const std::string& name, const std::string& path) {
    EntryInfo own;
    EntryInfo reached;
    return folder.IsOpen() && StatOwnEntry(folder, name, own) && StatPath(path, reached) &&
           own.identity.device == reached.identity.device &&
           own.identity.file == reached.identity.file;
}

bool SyncOwnFile(const OwnFolder& folder, const std::string& name) {
    FileHandle file = OpenOwnFileForReading(folder, name);
    const bool synced = file.IsOpen() && SyncData(file);
    return file.Close() && synced;
}

bool MoveOwnFile(const OwnFolder& from, const OwnFolder& to, const std::string& name) {
    EntryInfo source;
    EntryInfo target;
    if (!StatOwnEntry(from, name, source) || source.kind != EntryKind::File ||
        (StatOwnEntry(to, name, target) && target.kind != EntryKind::File)) {
        return false;
    }
    return RenameOwnFile(from, name, to, name);
}
