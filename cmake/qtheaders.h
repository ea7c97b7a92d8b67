// Parsed once per kind of target and then read precompiled ahead of every file:
// the Qt classes that most files use, of the modules the target can see. Whole
// module headers would save a little more parsing but cost more to load in
// every file than they save. Files still include what they use.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMutexLocker>
#include <QObject>
#include <QPluginLoader>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QRectF>
#include <QSet>
#include <QVector>
#include <QtEndian>
#if __has_include(<QImage>)
#include <QColor>
#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#endif
#if __has_include(<QWidget>)
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#endif
#if __has_include(<QTest>)
#include <QSignalSpy>
#include <QTest>
#endif
