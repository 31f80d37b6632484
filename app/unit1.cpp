#include "unit1.h"

#include "program_dir.h"
#include "settings.h"

namespace quendra {

TForm1* Form1 = nullptr;

TForm1::TForm1(winapp::TComponent* owner) : TForm(owner) {
    OnCreate = [this](winapp::TObject* sender) { FormCreate(sender); };
}

void TForm1::FormCreate(winapp::TObject*) {
    ApplySettings(ProgramDirectory(), [](uint16_t) {});
}

} // namespace quendra
