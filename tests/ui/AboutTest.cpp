// The about box, the web link and the picture button on real Qt widgets.

#include <QImage>
#include <QMouseEvent>
#include <QTimer>
#include <set>

#include "framework/Bitmaps.h"
#include "platform/WebLink.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/AboutDlg.h"

namespace vel {
namespace {

using test::UiEnvironment;

void MouseMove(QWidget* w, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

void Click(QWidget* w) {
    const QPointF at(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, QPointF(w->mapToGlobal(at.toPoint())),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, QPointF(w->mapToGlobal(at.toPoint())),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
}

// Whether any pixel of the rendered widget has exactly this colour.
bool Shows(QWidget* w, fw::Colour c) {
    const QImage image = w->grab().toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (p.red() == fw::RedOf(c) && p.green() == fw::GreenOf(c) &&
                p.blue() == fw::BlueOf(c)) {
                return true;
            }
        }
    }
    return false;
}

struct OpenCall {
    std::string address;
    int showMode;
};

class WebLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        UiEnvironment::Messages().clear();
        UiEnvironment::Beeps().clear();
        ASSERT_TRUE(dlg.Create(nullptr));
        dlg.ShowWindow(fw::kSwShow);
        ui::CWebLink::SetOpener([this](const std::string& address, int showMode) {
            calls.push_back({address, showMode});
            return result;
        });
    }
    void TearDown() override { ui::CWebLink::SetOpener(nullptr); }
    QWidget* Widget() { return fw::qt::WidgetOf(link); }

    fw::CDialog dlg{res::kAboutDialog};
    ui::CWebLink link;
    std::vector<OpenCall> calls;
    int result = 42;
};

TEST_F(WebLinkTest, AttachUsesTextAsAddressUnderlinesFitsAndAddsTheTip) {
    const QRect before = fw::qt::ControlWidget(dlg, 2008)->geometry();
    ASSERT_TRUE(link.SubclassDlgItem(2008, &dlg));
    EXPECT_EQ(link.GetURL(), "Web-page");
    EXPECT_TRUE(link.Underlined());
    EXPECT_TRUE(Widget()->font().underline());
    EXPECT_TRUE(link.HasHandCursor());
    EXPECT_NE(link.GetStyle() & res::kNotify, 0u);
    // Fitted: left-aligned text keeps its left and top edges, and the size is the text's.
    const QRect after = Widget()->geometry();
    const QFontMetrics fm(Widget()->font());
    EXPECT_EQ(after.left(), before.left());
    EXPECT_EQ(after.top(), before.top());
    EXPECT_EQ(after.width(), fm.horizontalAdvance(QStringLiteral("Web-page")));
    EXPECT_EQ(after.height(), fm.height());
    EXPECT_EQ(link.ToolTip().GetToolText(&link, ui::CWebLink::kToolId), "Web-page");

    link.SetURL("https://example.org/x");
    EXPECT_EQ(link.ToolTip().GetToolText(&link, ui::CWebLink::kToolId), "https://example.org/x");
    EXPECT_EQ(fw::qt::ToolTipAt(Widget(), {1, 1}), "https://example.org/x");
    EXPECT_EQ(link.GetWindowText(), "Web-page");  // the text stays
}

TEST_F(WebLinkTest, EmptyTextShowsTheAddress) {
    dlg.GetDlgItem(2008)->SetWindowText("");
    link.SetURL("https://example.org/");
    ASSERT_TRUE(link.SubclassDlgItem(2008, &dlg));
    EXPECT_EQ(link.GetWindowText(), "https://example.org/");
    EXPECT_EQ(link.GetURL(), "https://example.org/");
}

TEST_F(WebLinkTest, HoverTurnsRedWithCaptureAndLeavingRestoresTheColour) {
    ASSERT_TRUE(link.SubclassDlgItem(2008, &dlg));
    EXPECT_EQ(link.CurrentColour(), fw::Rgb(0, 0, 255));
    EXPECT_TRUE(Shows(Widget(), fw::Rgb(0, 0, 255)));
    MouseMove(Widget(), QPoint(2, 2));
    EXPECT_TRUE(link.IsOver());
    EXPECT_TRUE(link.HasCapture());
    EXPECT_EQ(Widget()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link.CurrentColour(), fw::Rgb(255, 0, 0));
    EXPECT_TRUE(Shows(Widget(), fw::Rgb(255, 0, 0)));
    EXPECT_FALSE(Shows(Widget(), fw::Rgb(0, 0, 255)));
    MouseMove(Widget(), QPoint(3, 2));  // still inside
    EXPECT_TRUE(link.IsOver());
    MouseMove(Widget(), QPoint(-5, 2));
    EXPECT_FALSE(link.IsOver());
    EXPECT_FALSE(link.HasCapture());
    EXPECT_TRUE(Shows(Widget(), fw::Rgb(0, 0, 255)));

    // After a successful click the link shows the visited colour.
    Click(Widget());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].address, "Web-page");
    EXPECT_EQ(calls[0].showMode, platform::kShowNormal);
    EXPECT_TRUE(link.IsVisited());
    EXPECT_EQ(link.CurrentColour(), fw::Rgb(128, 0, 128));
    EXPECT_TRUE(Shows(Widget(), fw::Rgb(128, 0, 128)));
    MouseMove(Widget(), QPoint(2, 2));
    EXPECT_EQ(link.CurrentColour(), fw::Rgb(255, 0, 0));
    MouseMove(Widget(), QPoint(2, 500));
    EXPECT_EQ(link.CurrentColour(), fw::Rgb(128, 0, 128));
    EXPECT_TRUE(UiEnvironment::Messages().empty());
    EXPECT_TRUE(UiEnvironment::Beeps().empty());
}

TEST_F(WebLinkTest, FailedOpenBeepsExplainsTheCodeAndClearsVisited) {
    ASSERT_TRUE(link.SubclassDlgItem(2008, &dlg));
    link.SetURL("https://example.org/");
    const std::map<int, std::string> texts = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {26, "A sharing violation occurred. "},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
        {4, "Unknown Error (4) occurred."},
    };
    for (const auto& [code, text] : texts) {
        SCOPED_TRACE(code);
        link.SetVisited(true);
        UiEnvironment::Messages().clear();
        UiEnvironment::Beeps().clear();
        result = code;
        Click(Widget());
        EXPECT_FALSE(link.IsVisited());
        ASSERT_EQ(UiEnvironment::Beeps().size(), 1u);
        EXPECT_EQ(UiEnvironment::Beeps()[0], fw::kMbIconExclamation);
        ASSERT_EQ(UiEnvironment::Messages().size(), 1u);
        EXPECT_EQ(UiEnvironment::Messages()[0].text, "Unable to open hyperlink:\n\n" + text);
        EXPECT_EQ(UiEnvironment::Messages()[0].type & 0xF0u, fw::kMbIconExclamation);
    }
    result = 33;  // the first success code
    Click(Widget());
    EXPECT_TRUE(link.IsVisited());
}

TEST(AboutBox, ShowsItsTextsPictureAndLinkAndClosesWithOk) {
    ui::CAboutDlg about;
    bool inspected = false;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!about.IsWindow() || inspected) {
            return;
        }
        inspected = true;
        QWidget* top = fw::qt::WidgetOf(about);
        EXPECT_EQ(top->windowTitle().toStdString(), "About");
        EXPECT_TRUE(top->isModal());
        std::set<std::string> labels;
        for (QLabel* l : top->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            labels.insert(l->text().toStdString());
        }
        EXPECT_TRUE(labels.count("VEL NOISE REDUCTION"));
        EXPECT_TRUE(labels.count("Version 1.0 (beta 5)"));
        EXPECT_TRUE(labels.count("Web-page"));
        EXPECT_EQ(about.Link().GetURL(), ui::kProductPage);
        EXPECT_EQ(about.Link().ToolTip().GetToolText(const_cast<ui::CWebLink*>(&about.Link()), 1),
                  ui::kProductPage);
        EXPECT_EQ(about.Picture().BitmapId(), 2004);
        EXPECT_FALSE(about.Picture().DrawsFrame());
        // The picture is drawn centred in the button: its centre pixel is the bitmap's.
        QWidget* button = fw::qt::ControlWidget(about, 2006);
        const QImage shot = button->grab().toImage();
        const res::Bitmap mapped = *fw::LoadMappedBitmap(2004);
        const fw::Point at =
            ui::PictureButtonBitmapOrigin({0, 0, button->width(), button->height()}, 100, 80, 0);
        const int cx = button->width() / 2;
        const int cy = button->height() / 2;
        const uint8_t* p = mapped.Pixel(cx - at.x, cy - at.y);
        EXPECT_EQ(shot.pixelColor(cx, cy), QColor(p[2], p[1], p[0]));
        qobject_cast<QPushButton*>(fw::qt::ControlWidget(about, fw::kIdOk))->click();
    });
    timer.start();
    EXPECT_EQ(about.DoModal(), fw::kIdOk);
    EXPECT_TRUE(inspected);
    EXPECT_FALSE(about.IsWindow());
}

TEST(PictureButton, BitmapPlacement) {
    // No text: centred, rounding down also for a bitmap wider than the button.
    EXPECT_EQ(ui::PictureButtonBitmapOrigin({0, 0, 59, 39}, 60, 38, 0), (fw::Point{-1, 1}));
    EXPECT_EQ(ui::PictureButtonBitmapOrigin({10, 20, 30, 33}, 13, 13, 0), (fw::Point{13, 20}));
    EXPECT_EQ(ui::PictureButtonBitmapOrigin({0, 0, 20, 10}, 13, 13, 0), (fw::Point{3, -1}));
    // With text: a third of the free width, rounded.
    EXPECT_EQ(ui::PictureButtonBitmapOrigin({0, 0, 100, 20}, 40, 10, 30).x, 10);
    EXPECT_EQ(ui::PictureButtonBitmapOrigin({0, 0, 101, 20}, 40, 10, 30).x, 10);
    EXPECT_EQ(ui::PictureButtonBitmapOrigin({0, 0, 102, 20}, 40, 10, 30).x, 11);
    EXPECT_EQ(ui::PictureButtonBitmapOrigin({0, 0, 65, 20}, 40, 10, 30).x, -2);
}

TEST(PictureButton, FrameAndTextAreDrawn) {
    fw::CDialog dlg(res::kSettingsDialog);
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(fw::kSwShow);
    ui::CPictureButton zoom;
    ASSERT_TRUE(zoom.Attach(2021, &dlg, res::kZoomBitmap, true));
    EXPECT_TRUE(zoom.DrawsFrame());
    QWidget* w = fw::qt::WidgetOf(zoom);
    // The glass's white lens is mapped to the button highlight colour and shows.
    EXPECT_TRUE(Shows(w, fw::GetSysColor(fw::SysColour::ButtonHighlight)));
    const QImage framed = w->grab().toImage();
    zoom.SetBitmap(res::kZoomBitmap, false);
    EXPECT_NE(w->grab().toImage(), framed);
    zoom.SetBitmap(0, false);  // no bitmap: only the face
    const QImage empty = w->grab().toImage();
    EXPECT_EQ(empty.pixelColor(w->width() / 2, w->height() / 2),
              w->palette().color(QPalette::Button));
}

}  // namespace
}  // namespace vel
