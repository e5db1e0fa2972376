#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleValueInterface>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QtEndian>
#include <algorithm>
#include <map>

#include "platform/skin/SkinText.h"
#include "platform/skin/TSkin.h"

using quillet::ISkinObject;
using quillet::SkinError;
using quillet::TSkin;

namespace {

QString LibraryPath() { return QCoreApplication::applicationDirPath() + "/quilletskin.dll"; }

enum class Kind { Button, Slider, Text };

struct NamedObject {
    const char* name;
    Kind kind;
};

const NamedObject kObjects[] = {
    {"Add", Kind::Button},           {"Remove", Kind::Button},
    {"Clear", Kind::Button},         {"Up", Kind::Button},
    {"Down", Kind::Button},          {"Play", Kind::Button},
    {"Pause", Kind::Button},         {"Stop playing", Kind::Button},
    {"cut", Kind::Button},           {"join", Kind::Button},
    {"Stop", Kind::Button},          {"Begin", Kind::Button},
    {"End", Kind::Button},           {"Begin right", Kind::Button},
    {"Begin left", Kind::Button},    {"End right", Kind::Button},
    {"End left", Kind::Button},      {"Options", Kind::Button},
    {"Browse", Kind::Button},        {"Pre-listen-off", Kind::Button},
    {"Pre-listen-on", Kind::Button}, {"help", Kind::Button},
    {"Begin bar", Kind::Slider},     {"End bar", Kind::Slider},
    {"Current bar", Kind::Slider},   {"Begin time", Kind::Text},
    {"End time", Kind::Text},        {"Current time", Kind::Text},
    {"Total time", Kind::Text},      {"Filename", Kind::Text},
    {"Edit stretch", Kind::Button},
};

// The program's own controls, placed over the skin at these bounds.
const QRect kStandardControls[] = {
    {6, 73, 402, 247}, {19, 330, 573, 12}, {373, 357, 54, 21}, {433, 357, 96, 21}};

// Everything the skin reports, in order, as readable lines.
struct EventLog {
    std::vector<std::string> lines;
    std::vector<int> tracks;
    std::vector<QPoint> presses;  // where each mouse down was, relative to its object

    void Attach(TSkin& skin) {
        QObject::connect(&skin, &TSkin::OnClick, [this](ISkinObject* o) {
            lines.push_back("click " + o->GetName().toStdString());
        });
        QObject::connect(&skin, &TSkin::OnMouseDown, [this](ISkinObject* o, int b, int x, int y) {
            lines.push_back("down " + o->GetName().toStdString() + " " + std::to_string(b));
            presses.emplace_back(x, y);
        });
        QObject::connect(&skin, &TSkin::OnMouseUp, [this](ISkinObject* o, int b, int, int) {
            lines.push_back("up " + o->GetName().toStdString() + " " + std::to_string(b));
        });
        QObject::connect(&skin, &TSkin::OnScrollTrack, [this](ISkinObject* o, int pos) {
            lines.push_back("track " + o->GetName().toStdString());
            tracks.push_back(pos);
        });
    }
    void Clear() {
        lines.clear();
        tracks.clear();
        presses.clear();
    }
    int Count(const std::string& line) const {
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }
};

class SkinnedWindow {
  public:
    SkinnedWindow() {
        window.resize(610, 388);
        skin = new TSkin(&window);
        skin->LoadSkin(LibraryPath());
        skin->ApplySkin(&window);
        skin->ApplyFormByName(&window, "Pellicle");
        log.Attach(*skin);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    ISkinObject* Find(const char* name) {
        auto* form = skin->GetFormObject(&window);
        return form ? form->FindObject(name) : nullptr;
    }
    QWidget* Widget(const char* name) { return dynamic_cast<QWidget*>(Find(name)); }
    QPoint CentreInWindow(const char* name) {
        QWidget* w = Widget(name);
        return w->mapTo(&window, w->rect().center());
    }

    QWidget window;
    TSkin* skin = nullptr;
    EventLog log;
};

QPoint SliderPoint(QWidget* slider, int position) {
    // The handle travels between its radius from either end; 8 px covers the skin's handles.
    const int inset = 8;
    return {inset + (slider->width() - 2 * inset) * position / 1000, slider->height() / 2};
}

}  // namespace

TEST(SkinForm, ProvidesEveryNamedObjectWithItsViews) {
    SkinnedWindow w;
    for (const NamedObject& expected : kObjects) {
        SCOPED_TRACE(expected.name);
        ISkinObject* object = w.Find(expected.name);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->GetName(), QString(expected.name));
        EXPECT_NE(object->Element(), nullptr);
        EXPECT_EQ(object->Slider() != nullptr, expected.kind == Kind::Slider);
        EXPECT_EQ(object->Label() != nullptr, expected.kind == Kind::Text);
        QWidget* widget = w.Widget(expected.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_TRUE(widget->isVisible());
        const QRect inWindow(widget->mapTo(&w.window, QPoint(0, 0)), widget->size());
        EXPECT_TRUE(QRect(0, 0, 610, 388).contains(inWindow));
    }
    for (const char* time : {"Begin time", "End time", "Current time", "Total time"})
        EXPECT_EQ(w.Find(time)->Label()->GetText(), "00:00:00") << time;
    EXPECT_FALSE(w.Find("Filename")->Label()->GetText().isEmpty());
    for (const char* bar : {"Begin bar", "End bar", "Current bar"})
        EXPECT_EQ(w.Find(bar)->Slider()->GetPosition(), 0) << bar;
}

TEST(SkinForm, LaysTheFilesOverviewsBeneathTheBeginAndEndBars) {
    SkinnedWindow w;
    for (auto [waveName, barName] :
         {std::pair{"Begin overview", "Begin bar"}, std::pair{"End overview", "End bar"}}) {
        SCOPED_TRACE(waveName);
        ISkinObject* object = w.Find(waveName);
        ASSERT_NE(object, nullptr);
        ASSERT_NE(object->Wave(), nullptr);
        EXPECT_EQ(object->Slider(), nullptr);
        EXPECT_EQ(object->Label(), nullptr);
        QWidget* wave = w.Widget(waveName);
        QWidget* bar = w.Widget(barName);
        // Beneath the bar and taking no mouse: a press there still moves the bar.
        EXPECT_EQ(w.window.childAt(bar->mapTo(&w.window, bar->rect().center())), bar);
        EXPECT_TRUE(bar->geometry().adjusted(0, -2, 0, 2).contains(wave->geometry()));
        EXPECT_EQ(object->Wave()->Columns(), wave->width());
        // Nothing is drawn before the program gives the envelope.
        const QImage empty = wave->grab().toImage();
        object->Wave()->SetEnvelope(QVector<float>(wave->width(), -0.9f),
                                    QVector<float>(wave->width(), 0.9f));
        object->Wave()->SetSpan(500, 1000);
        const QImage full = wave->grab().toImage();
        EXPECT_NE(empty, full);
        // The stretch (the right half) is brighter than the rest.
        const QColor outside = full.pixelColor(wave->width() / 4, wave->height() / 2);
        const QColor inside = full.pixelColor(wave->width() * 3 / 4, wave->height() / 2);
        EXPECT_GT(inside.lightness(), outside.lightness());
    }
    // Other objects have no wave.
    EXPECT_EQ(w.Find("Begin bar")->Wave(), nullptr);
    EXPECT_EQ(w.Find("Play")->Wave(), nullptr);
}

TEST(SkinForm, MatchesNamesExactly) {
    SkinnedWindow w;
    for (const char* name : {"Cut", "Join", "Help", "add", "cut ", "Begin Bar", ""})
        EXPECT_EQ(w.Find(name), nullptr) << name;
}

TEST(SkinForm, LeavesTheStandardControlsPlacesFreeAndStacksPreListenOffOnTop) {
    SkinnedWindow w;
    for (const NamedObject& object : kObjects) {
        QWidget* widget = w.Widget(object.name);
        const QRect inWindow(widget->mapTo(&w.window, QPoint(0, 0)), widget->size());
        for (const QRect& control : kStandardControls)
            EXPECT_FALSE(inWindow.intersects(control)) << object.name << " covers a control";
    }
    QWidget* off = w.Widget("Pre-listen-off");
    QWidget* on = w.Widget("Pre-listen-on");
    EXPECT_EQ(off->geometry(), on->geometry());
    EXPECT_EQ(w.window.childAt(w.CentreInWindow("Pre-listen-off")), off);

    // Controls made before the form still lie over it.
    auto* list = new QTreeWidget(&w.window);
    list->setGeometry(kStandardControls[0]);
    list->show();
    w.skin->ApplyFormByName(&w.window, "Pellicle");
    EXPECT_EQ(w.window.childAt(kStandardControls[0].center()), list->viewport());
}

// Renders the window as the program shows it; QUILLET_SKIN_SHOT names a PNG to keep.
TEST(SkinForm, RendersTheFormUnderTheStandardControls) {
    SkinnedWindow w;
    auto* list = new QTreeWidget(&w.window);
    list->setHeaderLabels({"Name", "Start Time - End Time", "Length", "Status"});
    list->setColumnWidth(0, 150);
    list->setColumnWidth(1, 125);
    list->setColumnWidth(2, 60);
    list->setRootIsDecorated(false);
    list->addTopLevelItem(new QTreeWidgetItem(
        QStringList{"Morning Session", "  00:00:12 - 00:03:40", "00:04:05", "finish"}));
    list->addTopLevelItem(new QTreeWidgetItem(
        QStringList{"Interview take 2", "  00:00:00 - 00:12:31", "00:12:31", "Converting"}));
    list->addTopLevelItem(new QTreeWidgetItem(
        QStringList{"Field recording", "  00:00:00 - 00:01:58", "00:01:58", "unconverted"}));
    list->setCurrentItem(list->topLevelItem(1));
    list->setGeometry(kStandardControls[0]);
    auto* progress = new QProgressBar(&w.window);
    progress->setGeometry(kStandardControls[1]);
    progress->setValue(42);
    progress->setTextVisible(false);
    auto* format = new QComboBox(&w.window);
    format->addItems({"MP3", "WAV", "WMA", "OGG"});
    format->setGeometry(kStandardControls[2]);
    auto* dir = new QLineEdit(QDir::homePath() + "/Music", &w.window);
    dir->setGeometry(kStandardControls[3]);
    for (QWidget* control : std::initializer_list<QWidget*>{list, progress, format, dir})
        control->show();
    w.Find("Filename")->Label()->SetText("Interview take 2.mp3");
    w.Find("Current time")->Label()->SetText("00:03:17");
    w.Find("Total time")->Label()->SetText("00:12:31");
    w.Find("Begin time")->Label()->SetText("00:01:05");
    w.Find("End time")->Label()->SetText("00:09:40");
    w.Find("Current bar")->Slider()->SetPosition(262);
    w.Find("Begin bar")->Slider()->SetPosition(87);
    w.Find("End bar")->Slider()->SetPosition(773);

    const QImage shot = w.window.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(610, 388));
    // The skin paints around the list: a pixel of the right-hand panel is not the list's.
    EXPECT_NE(shot.pixel(500, 200), shot.pixel(200, 200));
    const QString keep = qEnvironmentVariable("QUILLET_SKIN_SHOT");
    if (keep.isEmpty()) return;
    EXPECT_TRUE(shot.save(keep));

    // A second look: pre-listen on, Play held down, the pointer over Join, Pause keyboard-focused.
    w.Find("Pre-listen-off")->Element()->SetVisible(false);
    QTest::mouseMove(w.Widget("join"));
    QTest::mousePress(w.Widget("Play"), Qt::LeftButton);
    w.Widget("Pause")->setFocus(Qt::TabFocusReason);
    const QString states = QString(keep).replace(".png", "-states.png");
    EXPECT_TRUE(w.window.grab().save(states));
    QTest::mouseRelease(w.Widget("Play"), Qt::LeftButton);
}

TEST(SkinLoad, ReportsFailuresWithoutLosingTheLoadedSkin) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    // A library made by rcc from the given entries.
    const auto build = [&](const QString& name, const std::map<QString, QByteArray>& entries) {
        QDir source(dir.filePath(name + ".src"));
        source.mkpath(".");
        QByteArray qrc = "<RCC><qresource prefix=\"/\">";
        for (const auto& [entry, content] : entries) {
            source.mkpath(QFileInfo(entry).path());
            QFile file(source.filePath(entry));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(content);
            qrc += "<file>" + entry.toUtf8() + "</file>";
        }
        qrc += "</qresource></RCC>";
        QFile qrcFile(source.filePath("skin.qrc"));
        EXPECT_TRUE(qrcFile.open(QIODevice::WriteOnly));
        qrcFile.write(qrc);
        qrcFile.close();
        const QString out = dir.filePath(name);
        QProcess rcc;
        rcc.setWorkingDirectory(source.path());
        rcc.start("/usr/lib/qt6/libexec/rcc", {"--binary", "-o", out, "skin.qrc"});
        EXPECT_TRUE(rcc.waitForFinished(30000));
        EXPECT_EQ(rcc.exitCode(), 0) << rcc.readAllStandardError().toStdString();
        return out;
    };
    QFile real(LibraryPath());
    ASSERT_TRUE(real.open(QIODevice::ReadOnly));
    const QByteArray realBytes = real.readAll();
    const QByteArray manifest =
        R"({"format": "quillet-skin", "version": 1, "forms": {"Pellicle": "forms/Pellicle.json"},
            "palette": {"window": "#101010"}})";
    QByteArray hostileHeader("qres\0\0\0\3\0\0\0\x18\0\0\0\x18\0\0\0\x18\0\0\0\0", 24);
    hostileHeader += QByteArray("\xff\xff\xff\x00\x00\x02\x7f\xff\xff\xff\x00\x00\x00\x00", 14);
    hostileHeader += QByteArray(64, '\0');

    struct Case {
        const char* what;
        QString path;
        const char* expected;
    };
    const Case cases[] = {
        {"missing file", dir.filePath("absent/quilletskin.dll"), "does not exist"},
        {"text file", write("quilletskin.dll", "MZ? no, just some text\n"),
         "is not a skin library"},
        {"empty file", write("empty.dll", {}), "is not a skin library"},
        {"truncated library", write("half.dll", realBytes.left(realBytes.size() / 2)),
         "is not a skin library"},
        {"offsets out of range", write("hostile.dll", hostileHeader), "is not a skin library"},
        {"foreign resource bundle", build("foreign.dll", {{"notes.txt", "hello"}}),
         "holds no skin.json"},
        {"broken layout",
         build("broken.dll",
               {{"skin.json", manifest}, {"forms/Pellicle.json", "{\"size\": [610,"}}),
         "is damaged"},
        {"layout without its form file", build("noform.dll", {{"skin.json", manifest}}),
         "has no layout"},
        {"object without a name",
         build("noname.dll",
               {{"skin.json", manifest},
                {"forms/Pellicle.json",
                 R"({"size": [610, 388], "background": "#000000", "colors": {}, "fonts": {},
                     "buttonStyles": {}, "sliderStyles": {}, "textStyles": {},
                     "objects": [{"kind": "text", "rect": [0, 0, 10, 10]}]})"}}),
         "object 1 has no name"},
        {"text style with an unknown overflow",
         build("overflow.dll", {{"skin.json", manifest},
                                {"forms/Pellicle.json",
                                 R"({"size": [610, 388], "background": "#000000", "colors": {},
                     "fonts": {"ui": {"family": ["Sans"], "px": 11}},
                     "buttonStyles": {}, "sliderStyles": {},
                     "textStyles": {"clock": {"font": "ui", "color": "#ffffff",
                                              "overflow": "wrap"}},
                     "objects": []})"}}),
         "text style \"clock\" has an unknown overflow \"wrap\""},
    };
    TSkin skin;
    skin.LoadSkin(LibraryPath());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            skin.LoadSkin(c.path);
            ADD_FAILURE() << "loaded";
        } catch (const SkinError& e) {
            const QString message = QString::fromStdString(e.what());
            EXPECT_TRUE(message.contains(c.path)) << e.what();
            EXPECT_TRUE(message.contains(c.expected)) << e.what();
        }
    }
    // The library loaded before the failures is still the one in use.
    QWidget window;
    skin.ApplySkin(&window);
    skin.ApplyFormByName(&window, "Pellicle");
    EXPECT_NE(skin.GetFormObject(&window)->FindObject("Play"), nullptr);
}

TEST(SkinLoad, RefusesUnknownFormsAndWorkBeforeLoading) {
    QWidget window;
    TSkin skin;
    EXPECT_THROW(skin.ApplySkin(&window), SkinError);
    EXPECT_THROW(skin.ApplyFormByName(&window, "Pellicle"), SkinError);
    EXPECT_EQ(skin.GetFormObject(&window), nullptr);
    skin.LoadSkin(LibraryPath());
    try {
        skin.ApplyFormByName(&window, "pellicle");
        ADD_FAILURE() << "applied a form of another case";
    } catch (const SkinError& e) {
        EXPECT_TRUE(QString(e.what()).contains(LibraryPath())) << e.what();
        EXPECT_TRUE(QString(e.what()).contains("\"pellicle\"")) << e.what();
    }
    EXPECT_EQ(skin.GetFormObject(&window), nullptr);
    skin.ApplyFormByName(&window, "Pellicle");
    QWidget other;
    EXPECT_NE(skin.GetFormObject(&window), nullptr);
    EXPECT_EQ(skin.GetFormObject(&other), nullptr);
}

TEST(SkinLoad, LaysTheFormIntoTheCentralWidgetOfAMainWindow) {
    QMainWindow window;
    window.menuBar()->addMenu("File");
    TSkin skin(&window);
    skin.LoadSkin(LibraryPath());
    skin.ApplySkin(&window);
    skin.ApplyFormByName(&window, "Pellicle");
    ASSERT_NE(window.centralWidget(), nullptr);
    auto* play = dynamic_cast<QWidget*>(skin.GetFormObject(&window)->FindObject("Play"));
    ASSERT_NE(play, nullptr);
    EXPECT_TRUE(window.centralWidget()->isAncestorOf(play));
    EXPECT_GE(window.centralWidget()->minimumWidth(), 610);
    EXPECT_GE(window.centralWidget()->minimumHeight(), 388);
    // The form is replaced, not stacked, when laid again.
    skin.ApplyFormByName(&window, "Pellicle");
    EXPECT_EQ(window.findChildren<QWidget*>("Play").size(), 1);
}

TEST(SkinEvents, EveryButtonReportsItsClickByName) {
    SkinnedWindow w;
    for (const NamedObject& object : kObjects) {
        if (object.kind != Kind::Button) continue;
        SCOPED_TRACE(object.name);
        w.log.Clear();
        QTest::mouseClick(w.Widget(object.name), Qt::LeftButton);
        EXPECT_EQ(w.log.Count("click " + std::string(object.name)), 1);
        EXPECT_EQ(w.log.lines.size(), 3u);  // down, up, click
    }
}

TEST(SkinEvents, ReleasingOutsideAButtonIsNoClick) {
    SkinnedWindow w;
    QWidget* add = w.Widget("Add");
    QTest::mousePress(add, Qt::LeftButton);
    QTest::mouseRelease(add, Qt::LeftButton, {}, QPoint(add->width() + 40, add->height() + 40));
    EXPECT_EQ(w.log.Count("click Add"), 0);
    EXPECT_EQ(w.log.Count("down Add 0"), 1);
}

TEST(SkinEvents, DraggingABarReportsEveryMoveBetweenDownAndUp) {
    SkinnedWindow w;
    QWidget* bar = w.Widget("Begin bar");
    QTest::mousePress(bar, Qt::LeftButton, {}, SliderPoint(bar, 0));
    const int steps[] = {100, 250, 262, 400, 900};
    for (int step : steps) QTest::mouseMove(bar, SliderPoint(bar, step));
    QTest::mouseMove(bar, QPoint(bar->width() + 50, bar->height() / 2));  // past the end
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->width() + 50, bar->height() / 2));

    ASSERT_EQ(w.log.tracks.size(), std::size(steps) + 1);
    EXPECT_EQ(w.log.lines.front(), "down Begin bar 0");
    EXPECT_EQ(w.log.lines.back(), "up Begin bar 0");
    EXPECT_EQ(w.log.Count("track Begin bar"), static_cast<int>(std::size(steps)) + 1);
    for (size_t i = 0; i < std::size(steps); ++i)
        EXPECT_NEAR(w.log.tracks[i], steps[i], 6) << "move " << i;
    for (size_t i = 1; i < w.log.tracks.size(); ++i)
        EXPECT_GT(w.log.tracks[i], w.log.tracks[i - 1]);
    EXPECT_EQ(w.log.tracks.back(), 1000);
    EXPECT_EQ(w.Find("Begin bar")->Slider()->GetPosition(), 1000);
    EXPECT_EQ(w.log.Count("click Begin bar"), 0);
}

TEST(SkinEvents, PressingTheTrackJumpsTheHandleAndOtherButtonsDoNotMoveIt) {
    SkinnedWindow w;
    QWidget* bar = w.Widget("Current bar");
    QTest::mousePress(bar, Qt::LeftButton, {}, SliderPoint(bar, 500));
    ASSERT_EQ(w.log.lines.size(), 2u);
    EXPECT_EQ(w.log.lines[0], "down Current bar 0");
    EXPECT_EQ(w.log.lines[1], "track Current bar");
    EXPECT_NEAR(w.log.tracks[0], 500, 6);
    EXPECT_EQ(w.log.presses, std::vector<QPoint>{SliderPoint(bar, 500)});
    QTest::mouseRelease(bar, Qt::LeftButton, {}, SliderPoint(bar, 500));
    EXPECT_EQ(w.log.lines.back(), "up Current bar 0");

    w.log.Clear();
    QTest::mousePress(bar, Qt::RightButton, {}, SliderPoint(bar, 900));
    QTest::mouseMove(bar, SliderPoint(bar, 950));
    QTest::mouseRelease(bar, Qt::RightButton, {}, SliderPoint(bar, 950));
    EXPECT_TRUE(w.log.tracks.empty());
    EXPECT_EQ(w.log.Count("down Current bar 1"), 1);
    EXPECT_EQ(w.log.Count("up Current bar 1"), 1);
}

TEST(SkinEvents, PositionsAndTextsSetByTheProgramAreNotReported) {
    SkinnedWindow w;
    quillet::ISkinSlider* end = w.Find("End bar")->Slider();
    end->SetPosition(640);
    EXPECT_EQ(end->GetPosition(), 640);
    end->SetPosition(5000);
    EXPECT_EQ(end->GetPosition(), 1000);
    end->SetPosition(-3);
    EXPECT_EQ(end->GetPosition(), 0);

    QWidget* time = w.Widget("Current time");
    const QImage before = time->grab().toImage();
    w.Find("Current time")->Label()->SetText("01:02:05");
    w.Find("Current time")->Element()->Redraw();
    EXPECT_EQ(w.Find("Current time")->Label()->GetText(), "01:02:05");
    EXPECT_NE(time->grab().toImage(), before);
    EXPECT_TRUE(w.log.lines.empty());
}

TEST(SkinEvents, HidingPreListenOffLetsClicksReachPreListenOn) {
    SkinnedWindow w;
    const QPoint place = w.CentreInWindow("Pre-listen-off");
    QWindow* handle = w.window.windowHandle();
    ASSERT_NE(handle, nullptr);
    QTest::mouseClick(handle, Qt::LeftButton, {}, place);
    EXPECT_EQ(w.log.Count("click Pre-listen-off"), 1);

    w.Find("Pre-listen-off")->Element()->SetVisible(false);
    QTest::mouseClick(handle, Qt::LeftButton, {}, place);
    EXPECT_EQ(w.log.Count("click Pre-listen-on"), 1);
    EXPECT_EQ(w.log.Count("click Pre-listen-off"), 1);

    w.Find("Pre-listen-off")->Element()->SetVisible(true);
    QTest::mouseClick(handle, Qt::LeftButton, {}, place);
    EXPECT_EQ(w.log.Count("click Pre-listen-off"), 2);
    EXPECT_EQ(w.log.Count("click Pre-listen-on"), 1);
}

TEST(SkinAccessibility, ButtonsArePressableByName) {
    SkinnedWindow w;
    QAccessibleInterface* cut = QAccessible::queryAccessibleInterface(w.Widget("cut"));
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(cut->role(), QAccessible::Button);
    EXPECT_EQ(cut->text(QAccessible::Name), "cut");
    QAccessibleActionInterface* actions = cut->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());  // an animated click
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.log.Count("click cut") == 1; }));

    // Keyboard users reach the same click.
    w.Widget("help")->setFocus();
    QTest::keyClick(w.Widget("help"), Qt::Key_Space);
    EXPECT_EQ(w.log.Count("click help"), 1);
}

TEST(SkinAccessibility, BarsAreSlidersWhoseValueIsThePosition) {
    SkinnedWindow w;
    w.Find("End bar")->Slider()->SetPosition(420);
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(w.Widget("End bar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->role(), QAccessible::Slider);
    EXPECT_EQ(bar->text(QAccessible::Name), "End bar");
    QAccessibleValueInterface* value = bar->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentValue().toInt(), 420);
    EXPECT_EQ(value->minimumValue().toInt(), 0);
    EXPECT_EQ(value->maximumValue().toInt(), 1000);
    EXPECT_TRUE(w.log.lines.empty());

    // Setting the value is a user's move: the program hears it as a whole gesture.
    value->setCurrentValue(700);
    EXPECT_EQ(w.Find("End bar")->Slider()->GetPosition(), 700);
    const std::vector<std::string> gesture = {"down End bar 0", "track End bar", "up End bar 0"};
    EXPECT_EQ(w.log.lines, gesture);
    EXPECT_EQ(w.log.tracks, std::vector<int>{700});

    w.log.Clear();
    w.Widget("End bar")->setFocus();
    QTest::keyClick(w.Widget("End bar"), Qt::Key_Right);
    EXPECT_EQ(w.log.lines, gesture);
    EXPECT_EQ(w.log.tracks, std::vector<int>{710});
}

TEST(SkinAccessibility, TextsAreStaticTextNamedAfterTheObject) {
    SkinnedWindow w;
    w.Find("Begin time")->Label()->SetText("00:01:05");
    QAccessibleInterface* text = QAccessible::queryAccessibleInterface(w.Widget("Begin time"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->role(), QAccessible::StaticText);
    EXPECT_EQ(text->text(QAccessible::Name), "Begin time");
    EXPECT_EQ(text->text(QAccessible::Value), "00:01:05");
}

// Every single damaged byte of the real library is either harmless or refused with a message.
TEST(SkinText, TimesOfAHundredHoursAndMoreShowWholeAndFileNamesElideWithATip) {
    SkinnedWindow w;
    for (const char* name : {"Current time", "Total time", "Begin time", "End time"}) {
        SCOPED_TRACE(name);
        auto* text = dynamic_cast<quillet::SkinText*>(w.Find(name));
        ASSERT_NE(text, nullptr);
        const QFont usual = text->font();

        text->SetText("00:12:31");
        EXPECT_EQ(text->ShownText(), "00:12:31");
        EXPECT_EQ(text->ShownFont(), usual);

        for (const char* time : {"103:28:20", "1000:00:00", "99999:59:59"}) {
            SCOPED_TRACE(time);
            text->SetText(time);
            EXPECT_EQ(text->ShownText(), time);
            EXPECT_TRUE(text->toolTip().isEmpty());
            const QFont shown = text->ShownFont();
            EXPECT_EQ(shown.family(), usual.family());
            EXPECT_LE(QFontMetrics(shown).horizontalAdvance(time), text->width());
            // Smaller only as far as needed: a pixel more would not fit.
            QFont larger = shown;
            larger.setPixelSize(shown.pixelSize() + 1);
            if (shown != usual) {
                EXPECT_GT(QFontMetrics(larger).horizontalAdvance(time), text->width());
            }
        }
    }
    // "100:00:00" is one digit wider than the boxes were drawn for.
    auto* total = dynamic_cast<quillet::SkinText*>(w.Find("Total time"));
    total->SetText("100:00:00");
    EXPECT_LT(total->ShownFont().pixelSize(), total->font().pixelSize());

    auto* file = dynamic_cast<quillet::SkinText*>(w.Find("Filename"));
    ASSERT_NE(file, nullptr);
    const QString longName = "A very long name of a recording made in the field, take 12.mp3";
    file->SetText(longName);
    EXPECT_TRUE(file->ShownText().contains(QChar(0x2026)));
    EXPECT_TRUE(file->ShownText().startsWith("A very"));
    EXPECT_TRUE(file->ShownText().endsWith(".mp3"));
    EXPECT_EQ(file->ShownFont(), file->font());
    EXPECT_EQ(file->toolTip(), longName);
    file->SetText("Short.mp3");
    EXPECT_EQ(file->ShownText(), "Short.mp3");
    EXPECT_TRUE(file->toolTip().isEmpty());
}

TEST(SkinLoad, SurvivesADamagedByteAnywhereInTheLibrary) {
    QFile real(LibraryPath());
    ASSERT_TRUE(real.open(QIODevice::ReadOnly));
    const QByteArray bytes = real.readAll();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("quilletskin.dll");
    // Each byte of the header, the names and the tree; a sample of the payload between.
    const auto offset = [&](int at) { return qFromBigEndian<quint32>(bytes.constData() + at); };
    const int structure = static_cast<int>(qMin(offset(8), offset(16)));
    ASSERT_GT(structure, 24);
    ASSERT_LT(structure, bytes.size());
    int refused = 0;
    for (int at = 0; at < bytes.size(); at += (at < 24 || at >= structure) ? 1 : 37) {
        QByteArray damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x5a);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
        file.close();
        TSkin skin;
        try {
            skin.LoadSkin(path);
        } catch (const SkinError& e) {
            ++refused;
            EXPECT_TRUE(QString(e.what()).contains(path)) << e.what();
        }
    }
    EXPECT_GT(refused, 0);
}
