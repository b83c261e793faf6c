#include "idctl.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    return qrv::cli::run(std::vector<std::string>(argv + 1, argv + argc),
                         QCoreApplication::applicationDirPath().toStdString(), stdout, stderr);
}
