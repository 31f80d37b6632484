#pragma once
// The main form: it owns the relay's components and wires them together.

#include "form.h"

namespace quendra {

class TForm1 : public winapp::TForm {
public:
    explicit TForm1(winapp::TComponent* owner);

    void FormCreate(winapp::TObject* sender);
};

extern TForm1* Form1;

} // namespace quendra
