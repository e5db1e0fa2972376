#include "platform/skin/SkinLibrary.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QResource>
#include <QSet>
#include <QtEndian>
#include <cstring>

#include "platform/skin/SkinLayoutReader.h"
#include "platform/skin/TSkin.h"

namespace quillet {

namespace {

constexpr qint64 kMaxLibrarySize = 64 * 1024 * 1024;
constexpr int kLibraryFormat = 1;

// Layout of a binary bundle as rcc writes it (qtbase src/tools/rcc/rcc.cpp): a header of
// "qres", version, tree, data and names offsets (and flags from version 3); tree nodes of 14
// bytes (22 from version 2, which adds a modification time); names as length, hash, UTF-16.
constexpr int kHeaderSize = 20;
constexpr quint16 kFlagCompressed = 0x01;
constexpr quint16 kFlagDirectory = 0x02;
constexpr quint16 kFlagCompressedZstd = 0x04;

class BundleCheck {
  public:
    explicit BundleCheck(const QByteArray& data)
        : bytes_(reinterpret_cast<const uchar*>(data.constData())), size_(data.size()) {}

    // Empty when the bundle is sound, otherwise what is wrong.
    QString Problem() {
        if (size_ < kHeaderSize || memcmp(bytes_, "qres", 4) != 0)
            return QStringLiteral("it is not a resource bundle");
        const quint32 version = U32(4);
        if (version < 1 || version > 3)
            return QStringLiteral("its bundle version %1 is unknown").arg(version);
        tree_ = U32(8);
        data_ = U32(12);
        names_ = U32(16);
        nodeSize_ = version >= 2 ? 22 : 14;
        if (version >= 3 && size_ < kHeaderSize + 4) return Truncated();
        if (tree_ >= size_ || data_ >= size_ || names_ >= size_) return Truncated();
        return Node(0, 0);
    }

  private:
    QString Truncated() const { return QStringLiteral("it is truncated or damaged"); }

    quint32 U32(qint64 at) const { return qFromBigEndian<quint32>(bytes_ + at); }
    quint16 U16(qint64 at) const { return qFromBigEndian<quint16>(bytes_ + at); }
    bool Within(qint64 at, qint64 length) const {
        return at >= 0 && length >= 0 && at <= size_ && length <= size_ - at;
    }

    QString Node(qint64 index, int depth) {
        if (depth > 64 || visited_.contains(index)) return Truncated();
        visited_.insert(index);
        const qint64 at = tree_ + index * nodeSize_;
        if (!Within(at, nodeSize_)) return Truncated();
        const qint64 name = names_ + static_cast<qint64>(U32(at));
        if (index != 0) {
            if (!Within(name, 6)) return Truncated();
            if (!Within(name + 6, 2 * static_cast<qint64>(U16(name)))) return Truncated();
        }
        const quint16 flags = U16(at + 4);
        if (flags & kFlagDirectory) {
            const qint64 count = U32(at + 6);
            const qint64 first = U32(at + 10);
            if (!Within(tree_ + first * nodeSize_, count * nodeSize_)) return Truncated();
            for (qint64 child = first; child < first + count; ++child) {
                const QString problem = Node(child, depth + 1);
                if (!problem.isEmpty()) return problem;
            }
            return {};
        }
        if (flags & ~(kFlagCompressed | kFlagCompressedZstd))
            return QStringLiteral("it holds an entry of unknown kind");
        const qint64 content = data_ + static_cast<qint64>(U32(at + 10));
        if (!Within(content, 4) || !Within(content + 4, U32(content))) return Truncated();
        return {};
    }

    const uchar* bytes_;
    qint64 size_;
    qint64 tree_ = 0;
    qint64 data_ = 0;
    qint64 names_ = 0;
    qint64 nodeSize_ = 14;
    QSet<qint64> visited_;
};

QString NextRoot() {
    static QAtomicInt counter;
    return QStringLiteral("/quilletskin-%1").arg(counter.fetchAndAddRelaxed(1) + 1);
}

}  // namespace

SkinLibrary::SkinLibrary(const QString& path) : path_(path), root_(NextRoot()) {
    QFile file(path);
    if (!QFileInfo(path).isFile())
        throw SkinError(QStringLiteral("The skin library %1 does not exist.").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        throw SkinError(
            QStringLiteral("The skin library %1 cannot be read: %2").arg(path, file.errorString()));
    if (file.size() > kMaxLibrarySize)
        throw SkinError(QStringLiteral("%1 is not a skin library: it is far too large.").arg(path));
    data_ = file.readAll();
    if (data_.size() != file.size())
        throw SkinError(
            QStringLiteral("The skin library %1 cannot be read: %2").arg(path, file.errorString()));
    Register();
    ReadForms();
}

SkinLibrary::Registration::~Registration() {
    if (data_) QResource::unregisterResource(data_, root_);
}

bool SkinLibrary::Registration::Register(const QByteArray& data, const QString& root) {
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    if (!QResource::registerResource(bytes, root)) return false;
    data_ = bytes;
    root_ = root;
    return true;
}

const SkinFormLayout* SkinLibrary::Form(const QString& name) const {
    const auto form = forms_.constFind(name);
    return form == forms_.constEnd() ? nullptr : &*form;
}

void SkinLibrary::Register() {
    const QString problem = BundleCheck(data_).Problem();
    if (!problem.isEmpty())
        throw SkinError(QStringLiteral("%1 is not a skin library: %2.").arg(path_, problem));
    if (!registration_.Register(data_, root_))
        throw SkinError(QStringLiteral("%1 is not a skin library: its resource bundle was refused.")
                            .arg(path_));
}

QByteArray SkinLibrary::ReadEntry(const QString& entry) const {
    QFile file(QStringLiteral(":") + root_ + QStringLiteral("/") + entry);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

void SkinLibrary::ReadForms() {
    const QByteArray manifestText = ReadEntry(QStringLiteral("skin.json"));
    if (manifestText.isEmpty())
        throw SkinError(
            QStringLiteral("%1 is not a skin library: it holds no skin.json.").arg(path_));
    const QJsonObject manifest = QJsonDocument::fromJson(manifestText).object();
    if (manifest.value("format").toString() != QStringLiteral("quillet-skin"))
        throw SkinError(
            QStringLiteral("%1 is not a skin library: its skin.json is not a Quillet skin.")
                .arg(path_));
    if (manifest.value("version").toInt() != kLibraryFormat)
        throw SkinError(QStringLiteral("The skin library %1 has format version %2; this program "
                                       "reads version %3.")
                            .arg(path_, QString::number(manifest.value("version").toInt()),
                                 QString::number(kLibraryFormat)));
    const QJsonObject forms = manifest.value("forms").toObject();
    if (forms.isEmpty())
        throw SkinError(
            QStringLiteral("The skin library %1 is damaged: it lists no forms.").arg(path_));
    for (auto it = forms.begin(); it != forms.end(); ++it) {
        const QString entry = it.value().toString();
        const QByteArray layout = ReadEntry(entry);
        if (layout.isEmpty())
            throw SkinError(
                QStringLiteral("The skin library %1 is damaged: form \"%2\" has no layout \"%3\".")
                    .arg(path_, it.key(), entry));
        const QString context = QStringLiteral("form \"%1\"").arg(it.key());
        forms_.insert(it.key(), SkinLayoutReader(path_, it.key(), context).Read(layout));
    }
    palette_ = SkinLayoutReader(path_, QString(), QStringLiteral("skin.json"))
                   .ReadPalette(manifest.value("palette"));
}

}  // namespace quillet
