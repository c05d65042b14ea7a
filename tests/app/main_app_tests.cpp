// Widget tests run on the offscreen platform with a real QApplication.
#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Sizes and dates are checked in the Brazilian locale the users have.
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    int result = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
