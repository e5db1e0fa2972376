#include "platform/audio/TAudioInformation2.h"

#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <cstring>
#include <mutex>
#include <utility>

#include "common/FileNames.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/CheckedTagStream.h"
#include "platform/audio/OutputFormats.h"

namespace quillet {

// The descriptive fields carried from file to file; other properties of the target (encoder
// names and the like) are left as they are.
static const char* const kTextKeys[] = {"TITLE",       "ARTIST", "ALBUM",  "DATE",
                                        "TRACKNUMBER", "GENRE",  "COMMENT"};

struct AudioTags {
    TagLib::PropertyMap text;
    bool hasPicture = false;
    int pictureType = 3;  // front cover, the same numbering in ID3v2, FLAC and ASF
    TagLib::String pictureMime;
    TagLib::String pictureDescription;
    TagLib::ByteVector pictureData;

    bool Empty() const { return text.isEmpty() && !hasPicture; }
};

namespace {

// Sources come in more names than outputs do.
TagKind KindOf(const QString& path) {
    if (const OutputFormatInfo* format = OutputFormatOfPath(path)) return format->tags;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "asf") return TagKind::Asf;
    if (suffix == "oga") return TagKind::Vorbis;
    return TagKind::Other;
}

// A source's kind by what it holds, so that TagLib parses it once, as what it is: a file whose
// extension lies would otherwise be parsed as the wrong kind first and then guessed again, which
// for a damaged file costs twice the time and memory. The extension decides what is not
// recognised here.
TagKind KindOfContent(TagLib::IOStream* stream, const QString& path) {
    stream->seek(0);
    const TagLib::ByteVector head = stream->readBlock(16);
    stream->seek(0);
    static const TagLib::ByteVector kAsfHeader("\x30\x26\xb2\x75\x8e\x66\xcf\x11", 8);
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WAVE") return TagKind::Wav;
    if (head.startsWith("OggS")) return TagKind::Vorbis;
    if (head.startsWith(kAsfHeader)) return TagKind::Asf;
    if (head.startsWith("ID3") ||
        (head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0xff &&
         (static_cast<unsigned char>(head[1]) & 0xe0) == 0xe0))
        return TagKind::Mpeg;
    return KindOf(path);
}

// RIFF INFO has no declared text encoding. We write UTF-8, which FFmpeg and TagLib assume, and
// read older files written in a Windows code page as Latin-1 rather than as broken UTF-8.
class Utf8InfoHandler : public TagLib::RIFF::Info::StringHandler {
  public:
    TagLib::String parse(const TagLib::ByteVector& data) const override {
        const QByteArray bytes(data.data(), static_cast<int>(data.size()));
        const QByteArray trimmed =
            bytes.left(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0'));
        QString text = QString::fromUtf8(trimmed);
        if (text.contains(QChar::ReplacementCharacter)) text = QString::fromLatin1(trimmed);
        return TagLib::String(text.toStdString(), TagLib::String::UTF8);
    }
    TagLib::ByteVector render(const TagLib::String& s) const override {
        return s.data(TagLib::String::UTF8);
    }
};

void UseUtf8Info() {
    static const Utf8InfoHandler handler;
    static std::once_flag once;
    std::call_once(once, [] { TagLib::RIFF::Info::Tag::setStringHandler(&handler); });
}

QString Shown(const QString& path) { return QDir::toNativeSeparators(path); }

// Keeps only the descriptive fields, without empty values.
TagLib::PropertyMap Descriptive(const TagLib::PropertyMap& all) {
    TagLib::PropertyMap result;
    for (const char* key : kTextKeys) {
        if (!all.contains(key)) continue;
        TagLib::StringList values;
        for (const auto& value : all[key])
            if (!value.stripWhiteSpace().isEmpty()) values.append(value);
        if (!values.isEmpty()) result.insert(key, values);
    }
    return result;
}

// Fields of `over` replace those of `base`.
void Overlay(TagLib::PropertyMap& base, const TagLib::PropertyMap& over) {
    for (auto it = over.begin(); it != over.end(); ++it) base.replace(it->first, it->second);
}

// Fields that FFmpeg's ASF writer stores under plain names instead of the standard ones.
const std::pair<const char*, const char*> kAsfLooseNames[] = {
    {"TITLE", "title"}, {"ARTIST", "Author"}, {"COMMENT", "Description"}, {"DATE", "date"}};

void TakeApic(const TagLib::ID3v2::Tag* tag, AudioTags& tags) {
    if (!tag) return;
    const TagLib::ID3v2::AttachedPictureFrame* chosen = nullptr;
    for (auto* frame : tag->frameList("APIC")) {
        auto* apic = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (!apic || apic->picture().isEmpty()) continue;
        if (!chosen || (apic->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover &&
                        chosen->type() != TagLib::ID3v2::AttachedPictureFrame::FrontCover))
            chosen = apic;
    }
    if (!chosen) return;
    tags.hasPicture = true;
    tags.pictureType = chosen->type();
    tags.pictureMime = chosen->mimeType();
    tags.pictureDescription = chosen->description();
    tags.pictureData = chosen->picture();
}

void TakeAsfPicture(const TagLib::ASF::Tag* tag, AudioTags& tags) {
    if (!tag || !tag->contains("WM/Picture")) return;
    bool haveFront = false;
    for (const auto& attribute : tag->attribute("WM/Picture")) {
        const TagLib::ASF::Picture picture = attribute.toPicture();
        if (!picture.isValid() || picture.picture().isEmpty()) continue;
        const bool front = picture.type() == TagLib::ASF::Picture::FrontCover;
        if (tags.hasPicture && (haveFront || !front)) continue;
        haveFront = front;
        tags.hasPicture = true;
        tags.pictureType = picture.type();
        tags.pictureMime = picture.mimeType();
        tags.pictureDescription = picture.description();
        tags.pictureData = picture.picture();
    }
}

void TakeXiphPicture(TagLib::Ogg::XiphComment* comment, AudioTags& tags) {
    if (!comment) return;
    bool haveFront = false;
    for (const TagLib::FLAC::Picture* picture : comment->pictureList()) {
        if (picture->data().isEmpty()) continue;
        const bool front = picture->type() == TagLib::FLAC::Picture::FrontCover;
        if (tags.hasPicture && (haveFront || !front)) continue;
        haveFront = front;
        tags.hasPicture = true;
        tags.pictureType = picture->type();
        tags.pictureMime = picture->mimeType();
        tags.pictureDescription = picture->description();
        tags.pictureData = picture->data();
    }
}

void PutApic(TagLib::ID3v2::Tag* tag, const AudioTags& tags) {
    if (!tags.hasPicture) return;
    tag->removeFrames("APIC");
    auto frame = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
    frame->setMimeType(tags.pictureMime);
    frame->setType(static_cast<TagLib::ID3v2::AttachedPictureFrame::Type>(tags.pictureType));
    frame->setDescription(tags.pictureDescription);
    frame->setPicture(tags.pictureData);
    tag->addFrame(frame.release());  // the tag owns its frames
}

// TagLib 1.13's properties() and setProperties() are not virtual: through a Tag* they reach the
// base class, which keeps only whole numbers of DATE and TRACKNUMBER ("2003-05-17" and "5/12" are
// lost, "05" becomes "5") and writes a year and a track of 0 where there is none. Each tag type's
// own pair is called instead.
template <typename TagType>
void PutText(TagType* tag, const AudioTags& tags) {
    if (!tag || tags.text.isEmpty()) return;
    TagLib::PropertyMap merged = tag->properties();
    Overlay(merged, tags.text);
    tag->setProperties(merged);
}

// RIFF INFO has no property map of its own in TagLib 1.13 (the base one would be used): its
// fields are read and written as the text they are.
const std::pair<const char*, const char*> kInfoFields[] = {
    {"TITLE", "INAM"},       {"ARTIST", "IART"}, {"ALBUM", "IPRD"},  {"DATE", "ICRD"},
    {"TRACKNUMBER", "IPRT"}, {"GENRE", "IGNR"},  {"COMMENT", "ICMT"}};

TagLib::PropertyMap InfoText(const TagLib::RIFF::Info::Tag* tag) {
    TagLib::PropertyMap text;
    for (const auto& [key, id] : kInfoFields) {
        TagLib::String value = tag->fieldText(id);
        if (value.isEmpty() && std::strcmp(id, "IPRT") == 0) value = tag->fieldText("ITRK");
        if (!value.isEmpty()) text.insert(key, TagLib::StringList(value));
    }
    return text;
}

void PutText(TagLib::RIFF::Info::Tag* tag, const AudioTags& tags) {
    if (!tag) return;
    for (const auto& [key, id] : kInfoFields)
        if (tags.text.contains(key)) tag->setFieldText(id, tags.text[key].toString(", "));
}

void LoadFrom(TagLib::IOStream* stream, TagKind kind, AudioTags& tags) {
    switch (kind) {
        case TagKind::Mpeg: {
            TagLib::MPEG::File file(stream, TagLib::ID3v2::FrameFactory::instance(), false);
            if (!file.isValid()) break;
            TagLib::PropertyMap text;
            if (file.hasID3v1Tag()) text = file.ID3v1Tag()->properties();
            if (file.hasID3v2Tag()) Overlay(text, file.ID3v2Tag()->properties());
            tags.text = Descriptive(text);
            if (file.hasID3v2Tag()) TakeApic(file.ID3v2Tag(), tags);
            return;
        }
        case TagKind::Wav: {
            UseUtf8Info();
            TagLib::RIFF::WAV::File file(stream, false);
            if (!file.isValid()) break;
            TagLib::PropertyMap text;
            if (file.hasInfoTag()) text = InfoText(file.InfoTag());
            if (file.hasID3v2Tag()) Overlay(text, file.ID3v2Tag()->properties());
            tags.text = Descriptive(text);
            if (file.hasID3v2Tag()) TakeApic(file.ID3v2Tag(), tags);
            return;
        }
        case TagKind::Asf: {
            TagLib::ASF::File file(stream, false);
            if (!file.isValid()) break;
            TagLib::PropertyMap text = file.properties();
            for (const auto& [key, attribute] : kAsfLooseNames) {
                if (text.contains(key) || !file.tag()->contains(attribute)) continue;
                const auto values = file.tag()->attribute(attribute);
                if (!values.isEmpty()) text.insert(key, values.front().toString());
            }
            tags.text = Descriptive(text);
            TakeAsfPicture(file.tag(), tags);
            return;
        }
        case TagKind::Vorbis: {
            TagLib::Ogg::Vorbis::File file(stream, false);
            if (!file.isValid()) break;
            TagLib::PropertyMap text = file.properties();
            // FFmpeg and others keep the comment under DESCRIPTION.
            if (!text.contains("COMMENT") && text.contains("DESCRIPTION"))
                text.insert("COMMENT", text["DESCRIPTION"]);
            tags.text = Descriptive(text);
            TakeXiphPicture(file.tag(), tags);
            return;
        }
        case TagKind::Other:
            break;
    }
    // A kind we do not know by its content: let TagLib guess, text only. A known kind that
    // TagLib rejected is not parsed a second time.
    if (kind != TagKind::Other) return;
    stream->seek(0);
    TagLib::FileRef ref(stream, false);
    if (!ref.isNull()) tags.text = Descriptive(ref.file()->properties());
}

// Writes the tags; false when TagLib cannot parse or save the file.
bool SaveTo(TagLib::IOStream* stream, TagKind kind, const AudioTags& tags) {
    switch (kind) {
        case TagKind::Mpeg: {
            TagLib::MPEG::File file(stream, TagLib::ID3v2::FrameFactory::instance(), false);
            // TagLib would put a tag in front of anything; only real MPEG audio gets one.
            if (!file.isValid() || file.firstFrameOffset() < 0) return false;
            TagLib::ID3v2::Tag* id3 = file.ID3v2Tag(true);
            PutText(id3, tags);
            PutApic(id3, tags);
            int kinds = TagLib::MPEG::File::ID3v2;
            if (file.hasID3v1Tag()) {
                PutText(file.ID3v1Tag(), tags);
                kinds |= TagLib::MPEG::File::ID3v1;
            }
            // ID3v2.4 keeps the text in UTF-8 and the full date; FFmpeg and players read it.
            return file.save(kinds, TagLib::File::StripNone, TagLib::ID3v2::v4,
                             TagLib::File::DoNotDuplicate);
        }
        case TagKind::Wav: {
            UseUtf8Info();
            stream->seek(0);
            const TagLib::ByteVector head = stream->readBlock(12);
            if (!head.startsWith("RIFF") || head.mid(8, 4) != "WAVE") return false;
            stream->seek(0);  // TagLib reads the chunks from where the stream stands
            TagLib::RIFF::WAV::File file(stream, false);
            if (!file.isValid()) return false;
            PutText(file.ID3v2Tag(), tags);
            PutApic(file.ID3v2Tag(), tags);
            PutText(file.InfoTag(), tags);
            return file.save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripNone,
                             TagLib::ID3v2::v4);
        }
        case TagKind::Asf: {
            TagLib::ASF::File file(stream, false);
            if (!file.isValid()) return false;
            TagLib::ASF::Tag* tag = file.tag();
            PutText(tag, tags);
            // Loose copies of a field shadow the standard one in some readers: keep them equal.
            for (const auto& [key, attribute] : kAsfLooseNames)
                if (tags.text.contains(key) && tag->contains(attribute))
                    tag->setAttribute(attribute, tags.text[key].front());
            if (tags.hasPicture) {
                TagLib::ASF::Picture picture;
                picture.setMimeType(tags.pictureMime);
                picture.setType(static_cast<TagLib::ASF::Picture::Type>(tags.pictureType));
                picture.setDescription(tags.pictureDescription);
                picture.setPicture(tags.pictureData);
                tag->setAttribute("WM/Picture", TagLib::ASF::Attribute(picture));
            }
            return file.save();
        }
        case TagKind::Vorbis: {
            TagLib::Ogg::Vorbis::File file(stream, false);
            if (!file.isValid()) return false;
            TagLib::Ogg::XiphComment* comment = file.tag();
            PutText(comment, tags);
            if (tags.text.contains("COMMENT") && comment->contains("DESCRIPTION"))
                comment->addField("DESCRIPTION", tags.text["COMMENT"].toString(), true);
            if (tags.hasPicture) {
                comment->removeAllPictures();
                auto picture = std::make_unique<TagLib::FLAC::Picture>();
                picture->setMimeType(tags.pictureMime);
                picture->setType(static_cast<TagLib::FLAC::Picture::Type>(tags.pictureType));
                picture->setDescription(tags.pictureDescription);
                picture->setData(tags.pictureData);
                comment->addPicture(picture.release());  // the comment owns its pictures
            }
            return file.save();
        }
        case TagKind::Other:
            break;
    }
    TagLib::FileRef ref(stream, false);
    if (ref.isNull()) return false;
    TagLib::PropertyMap merged = ref.file()->properties();
    Overlay(merged, tags.text);
    ref.file()->setProperties(merged);
    return ref.save();
}

}  // namespace

TAudioInformation2::TAudioInformation2() : tags_(std::make_unique<AudioTags>()) {}

TAudioInformation2::~TAudioInformation2() = default;

void TAudioInformation2::SetOptionFlag(bool on) { optionFlag_ = on; }

void TAudioInformation2::LoadInformation(const QString& path) {
    // Failing to read tags must not fail the cut that follows: unreadable means "no tags".
    tags_ = std::make_unique<AudioTags>();
    const QByteArray name = EncodeFileName(path);
    TagLib::FileStream stream(name.constData(), true);  // read-only: the source is never touched
    if (!stream.isOpen()) return;
    LoadFrom(&stream, KindOfContent(&stream, path), *tags_);
}

void TAudioInformation2::SaveInformation(PendingFile& output) {
    if (!output.IsOpen()) return;
    if (!tags_->Empty()) {
        const QString target = Shown(output.Target());
        CheckedTagStream stream(output.Handle(), EncodeFileName(output.Path()));
        const bool saved = SaveTo(&stream, KindOf(output.Target()), *tags_);
        if (stream.Error() != 0) {
            output.Discard();
            throw AudioError(
                QString("Cannot write the information into \"%1\": %2.")
                    .arg(target, QString::fromLocal8Bit(std::strerror(stream.Error()))));
        }
        if (!saved) {
            output.Discard();
            throw AudioError(QString("Cannot write the information into \"%1\".").arg(target));
        }
    }
    output.Commit();
}

void TAudioInformation2::SaveInformation(const QString& path) {
    if (!StatFile(path).IsFile())
        throw AudioError(QString("Cannot write the information into \"%1\": the file does not "
                                 "exist.")
                             .arg(Shown(path)));
    if (tags_->Empty()) return;
    if (::access(EncodeFileName(path).constData(), R_OK | W_OK) != 0)
        throw AudioError(QString("Cannot write the information into \"%1\": the file cannot be "
                                 "opened for writing.")
                             .arg(Shown(path)));
    PendingFile copy = PendingFile::CopyOf(path);
    SaveInformation(copy);
}

}  // namespace quillet
