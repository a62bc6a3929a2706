#pragma once
// Where the window program finds what it ships beside itself: the user manual, the example
// programs and Qt's own Chinese texts. Installed, they sit under ../share relative to the
// program; run from the build tree, the source tree's docs/ and examples/ are used.
#include <QString>
#include <QStringList>

class QTranslator;

namespace korvane {

// The places the manual (manual.md) is looked for, in order.
QStringList manualCandidates();
// The first of them that exists; "" when none does.
QString findManual();
// The example programs' folder; "" when it is not there.
QString examplesFolder();
// Loads and installs Qt's Chinese texts (file dialogs, message-box buttons) from Qt's
// translations folder; the translator, owned by the application, or null when the file is
// missing.
QTranslator* loadQtTranslations();

}  // namespace korvane
