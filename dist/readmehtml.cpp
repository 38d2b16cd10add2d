// Renders the README (GitHub's Markdown) as a page of its own for Help > User Manual, with Qt's
// own Markdown reader, so the build needs no converter besides Qt.
// Usage: tvr_readme_html README.md README.html TITLE
#include <QFile>
#include <QGuiApplication>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fputs("usage: tvr_readme_html README.md README.html TITLE\n", stderr);
        return 1;
    }
    QFile in(args[1]);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    QTextDocument document;
    document.setMarkdown(QString::fromUtf8(in.readAll()), QTextDocument::MarkdownDialectGitHub);
    document.setMetaInformation(QTextDocument::DocumentTitle, args[3]);
    QFile out(args[2]);
    const QByteArray html = document.toHtml().toUtf8();
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(html) != html.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
