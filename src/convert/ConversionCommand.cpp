#include "convert/ConversionCommand.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/FileNames.h"
#include "common/MulDiv.h"
#include "common/RunState.h"
#include "convert/ConversionHost.h"
#include "convert/CopyThreads.h"
#include "convert/SegmentCopy.h"
#include "platform/audio/TAudioFile2.h"

namespace quillet {

bool ConversionCommand::MayStart() {
    if (host_.RowCount() == 0) {
        host_.ShowInformation(QStringLiteral("Please add file!"));
        return false;
    }
    if (host_.IsPlaying()) {
        host_.ShowInformation(QStringLiteral("Please stop playing first."));
        return false;
    }
    return !IsConverting();
}

bool ConversionCommand::IsConverting() const { return host_.Run().IsConverting; }

CopyHooks ConversionCommand::Hooks() {
    return {[this] { host_.PumpMessages(); }, [this] { return IsConverting(); },
            [this](int percent) { host_.SetProgress(percent); }};
}

int32_t WriteSlice(const SourceFormat& source) { return std::max(1, source.sampleRate / 10); }

void CloseIfOpen(TAudioFile2& file) {
    if (file.IsOpen()) file.Close();
}

void ConversionCommand::MakeWritable(const QString& path) {
    const QByteArray name = EncodeFileName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0)
        ::chmod(name.constData(), (st.st_mode & 07777) | S_IWUSR);
}

bool ConversionCommand::IsSameFile(const QString& path, const QString& other) {
    std::error_code error;  // a path that does not exist is simply not the same file
    return std::filesystem::equivalent(EncodeFileName(path).toStdString(),
                                       EncodeFileName(other).toStdString(), error);
}

int ConversionCommand::RowWithInput(const QString& path) const {
    const int rows = host_.RowCount();
    for (int row = 0; row < rows; ++row)
        if (IsSameFile(path, host_.Row(row).filePath)) return row;
    return -1;
}

void ConversionCommand::CreateFolder(const QString& dir) {
    if (!StatFile(dir).IsFolder()) ::mkdir(EncodeFileName(dir).constData(), 0777);
}

ConvertingControls::ConvertingControls(ConversionHost& host) : host_(host) {
    host_.ShowConverting();
}

ConvertingControls::~ConvertingControls() { host_.ShowIdle(); }

}  // namespace quillet
