// Writes samples/demo.nds, a small ROM image holding the demo archive, to try
// archives inside images on:
//
//     makedemo-nds samples/demo.narc samples/demo.nds
//
// The image holds data/demo.narc (the archive given) and data/readme.txt. It is
// laid out from the table below by the same builder the tests use, so running
// it again gives the same bytes. It holds no code that runs on a console.

#include "io/regularfile.h"
#include "io/savefile.h"
#include "rom/romfilesystem.h"
#include "romfixture.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileDevice>

#include <cstdio>

using namespace core;

namespace {

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "makedemo-nds: %s\n", qPrintable(message));
    std::exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: makedemo-nds DEMO.narc OUTPUT.nds\n");
        return 2;
    }
    QFile input;
    const Status opened = openRegularFile(input, arguments.at(1), Links::Follow);
    if (!opened)
        fail(QStringLiteral("cannot open %1: %2").arg(arguments.at(1), opened.reason));
    const QByteArray archive = input.readAll();

    RomLayout layout;
    layout.title = "NARCEDITDEMO";
    layout.gameCode = "NDMO";
    layout.files = {
        {QStringLiteral("data/demo.narc"), archive},
        {QStringLiteral("data/readme.txt"),
         "This image was made by narcedit's tools/makedemo-nds to try archives inside ROM images on.\n"
         "It holds the demo archive as data/demo.narc. It does not run on a console.\n"},
    };
    QByteArray image = buildRomImage(layout).bytes;

    // The image must read back, holding the archive unchanged.
    QBuffer buffer(&image);
    buffer.open(QIODevice::ReadOnly);
    const Result<RomFileSystem> fs = readRomFileSystem(&buffer);
    if (!fs)
        fail(QStringLiteral("the image does not read back: ") + fs.reason);
    if (readRomFile(&buffer, fs.value, fs.value.idOf(QStringLiteral("data/demo.narc"))).value != archive)
        fail(QStringLiteral("the image does not hold the archive"));

    Result<std::unique_ptr<QFileDevice>> output = openWholeFile(arguments.at(2));
    Status written = output.status();
    if (written)
        written = writeAllBytes(*output.value, image.constData(), image.size());
    if (written)
        written = commitWholeFile(*output.value);
    if (!written)
        fail(QStringLiteral("cannot write %1: %2").arg(arguments.at(2), written.reason));
    return 0;
}
