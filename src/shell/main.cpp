#include "shell/application.h"
#include "shell/endings.h"
#include "shell/errorbox.h"
#include "shell/tunemain.h"

int main(int argc, char** argv)
{
    hy::Application app(argc, argv);
    try {
        TForm1 form(hy::realServices());
        const Endings endings([&form] { form.close(); }, [&form] { form.saveSettings(); });
        form.show();
        app.exec();
    } catch (...) {
        hy::showErrorBox(nullptr, hy::currentExceptionText());
    }
    return 0;
}
