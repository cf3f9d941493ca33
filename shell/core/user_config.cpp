#include "shell/core/user_config.h"

#include <QFileInfo>

#include "shell/core/cp936_text.h"
#include "shell/core/private_files.h"

namespace ov::shell {

bool LoadKeyFile(OVConfigFile* file, const QString& path, bool scrambled) {
    file->ParseText({});  // empties the list, as loading from a file does
    if (path.isEmpty())
        return false;
    const std::optional<QByteArray> bytes = ReadWholeFile(path);
    if (!bytes)
        return false;
    const std::string_view data(bytes->constData(), static_cast<size_t>(bytes->size()));
    return scrambled ? file->ParseScrambled(data) : file->ParseText(data);
}

bool SavePrivateKeyFile(const OVConfigFile& file, const QString& path, bool scrambled) {
    if (path.isEmpty())
        return false;
    std::string data;
    if (!(scrambled ? file.FormatScrambled(&data) : file.FormatText(&data)))
        return false;
    return MakePrivateDirectory(QFileInfo(path).absolutePath()) &&
           WritePrivateFile(path, QByteArrayView(data.data(), static_cast<qsizetype>(data.size())));
}

bool UserConfig::Load(const QString& filePath) {
    std::lock_guard lock(mutex_);
    filePath_ = filePath;
    return LoadKeyFile(&file_, filePath, true);
}

bool UserConfig::Save() const {
    std::lock_guard lock(mutex_);
    return SavePrivateKeyFile(file_, filePath_, true);
}

void UserConfig::Clear() {
    std::lock_guard lock(mutex_);
    file_.ParseText({});
    filePath_.clear();
}

QString UserConfig::FilePath() const {
    std::lock_guard lock(mutex_);
    return filePath_;
}

FileTransRecvSettings UserConfig::FileTransRecv(const QString& defaultRecvFilePath) {
    std::lock_guard lock(mutex_);
    FileTransRecvSettings settings;
    settings.RecvFilePath = defaultRecvFilePath;
    file_.GetInt(kFileTransRecvSection, "pos_X", &settings.pos_X);
    file_.GetInt(kFileTransRecvSection, "pos_Y", &settings.pos_Y);
    std::string path;
    if (file_.GetString(kFileTransRecvSection, "RecvFilePath", &path))
        settings.RecvFilePath = FromCp936(path);
    file_.GetInt(kFileTransRecvSection, "bAutoClose", &settings.bAutoClose);
    return settings;
}

void UserConfig::SetFileTransRecv(const FileTransRecvSettings& settings) {
    std::lock_guard lock(mutex_);
    // A path cannot hold a line break worth keeping; the file could not carry it.
    QString path = settings.RecvFilePath;
    path.remove(u'\n').remove(u'\r').remove(QChar(0));
    file_.SetInt(kFileTransRecvSection, "pos_X", settings.pos_X);
    file_.SetInt(kFileTransRecvSection, "pos_Y", settings.pos_Y);
    file_.SetString(kFileTransRecvSection, "RecvFilePath", ToCp936(path));
    file_.SetInt(kFileTransRecvSection, "bAutoClose", settings.bAutoClose);
}

}  // namespace ov::shell
