#include "HelpMenu.hpp"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QTableWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace lumivert::HelpMenu {

namespace {

constexpr QSize shortcutsSize{460, 480};
constexpr QSize guideSize{560, 520};

// "&File" → "File", "Open LUT…" stays.
QString plainText(const QString& menuText)
{
    QString text = menuText;
    return text.remove(QLatin1Char('&'));
}

void showShortcuts(QMainWindow& window)
{
    const std::vector<Shortcut> rows = shortcuts(*window.menuBar());
    QDialog dialog(&window);
    dialog.setWindowTitle(QStringLiteral("Keyboard Shortcuts"));
    dialog.resize(shortcutsSize);
    auto* table = new QTableWidget(static_cast<int>(rows.size()), 2, &dialog);
    table->setHorizontalHeaderLabels({QStringLiteral("Command"), QStringLiteral("Keys")});
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAccessibleName(QStringLiteral("Keyboard shortcuts"));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(rows[static_cast<std::size_t>(row)].command));
        table->setItem(row, 1, new QTableWidgetItem(rows[static_cast<std::size_t>(row)].keys));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* column = new QVBoxLayout(&dialog);
    column->addWidget(table);
    column->addWidget(buttons);
    dialog.exec();
}

void showGuide(QMainWindow& window)
{
    QDialog dialog(&window);
    dialog.setWindowTitle(QStringLiteral("Using LUTs in Other Applications"));
    dialog.resize(guideSize);
    auto* text = new QTextBrowser(&dialog);
    text->setHtml(usingLUTsText());
    text->setAccessibleName(QStringLiteral("Using LUTs in other applications"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* column = new QVBoxLayout(&dialog);
    column->addWidget(text);
    column->addWidget(buttons);
    dialog.exec();
}

}  // namespace

std::vector<Shortcut> shortcuts(const QMenuBar& menus)
{
    std::vector<Shortcut> rows;
    for (const QAction* top : menus.actions()) {
        if (!top->menu())
            continue;
        for (const QAction* item : top->menu()->actions())
            for (const QKeySequence& keys : item->shortcuts())
                rows.push_back(
                    {plainText(top->text()) + QStringLiteral(" › ") + plainText(item->text()),
                     keys.toString(QKeySequence::NativeText)});
    }
    return rows;
}

QString usingLUTsText()
{
    return QStringLiteral(
        "<p>Lumivert writes the same grade as a <b>.cube</b> file, a <b>.3dl</b> file or a "
        "<b>HALD .png</b> image. Most applications read .cube.</p>"
        "<h4>darktable</h4><p>Set the 3D LUT root folder in Preferences › Processing, put the "
        "file there, then pick it in the <i>lut 3D</i> module.</p>"
        "<h4>GIMP</h4><p>With the G’MIC-Qt plug-in: Colors › Apply External CLUT, then choose "
        "the .cube or HALD .png file.</p>"
        "<h4>Photoshop</h4><p>Layer › New Adjustment Layer › Color Lookup, then 3DLUT File › "
        "Load 3D LUT… and pick the .cube or .3dl file. Lower the layer’s opacity to weaken "
        "the look.</p>"
        "<h4>DaVinci Resolve and video editors</h4><p>Copy the .cube file into the "
        "application’s LUT folder (in Resolve: Project Settings › Color Management › Open LUT "
        "Folder), then apply it to a clip. Kdenlive and Shotcut take it as a “LUT” effect; "
        "ffmpeg as <code>-vf lut3d=file.cube</code>.</p>"
        "<h4>Many photos at once</h4><p>File › Apply to Photos… grades whole folders from the "
        "window; <code>lumivert-cli apply look.cube *.jpg --out-dir graded/</code> does the "
        "same from a terminal, to the same bytes.</p>"
        "<p>Every LUT here expects and returns sRGB-encoded colours: apply it where the "
        "application works in sRGB (for a raw developer, after the display transform).</p>");
}

QString aboutText()
{
    return QStringLiteral(
               "<h3>Lumivert %1</h3>"
               "<p>Turns images into 3D colour lookup tables (.cube, .3dl, HALD .png).</p>"
               "<p>The Lumivert developers have not yet published a licence for this software; "
               "until they do, all rights are reserved and it may be installed and used, but "
               "not redistributed.</p>"
               "<p>Built on Qt %2 (LGPL 3), libvips (LGPL 2.1 or later), LittleCMS 2 (MIT), "
               "OpenColorIO (BSD 3-Clause), LibRaw (LGPL 2.1 or CDDL 1.0), GLib (LGPL 2.1 or "
               "later), CLI11 (BSD 3-Clause) and nlohmann/json (MIT).</p>")
        .arg(QApplication::applicationVersion(), QString::fromLatin1(qVersion()));
}

void install(QMainWindow& window)
{
    QMenu* help = window.menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* keys = help->addAction(QStringLiteral("Keyboard Shortcuts"), &window,
                                    [&window] { showShortcuts(window); });
    keys->setShortcut(QKeySequence::HelpContents);
    help->addAction(QStringLiteral("Using LUTs in Other Applications"), &window,
                    [&window] { showGuide(window); });
    help->addSeparator();
    QAction* about = help->addAction(QStringLiteral("About Lumivert"), &window, [&window] {
        QMessageBox::about(&window, QStringLiteral("About Lumivert"), aboutText());
    });
    about->setMenuRole(QAction::AboutRole);
}

}  // namespace lumivert::HelpMenu
