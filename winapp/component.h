#pragma once
// Component ownership: an owner frees what it owns, in reverse order of creation.

#include <vector>

namespace winapp {

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;
};

enum TComponentStateFlag : unsigned { csDesigning = 1u << 0, csDestroying = 1u << 1 };

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;

    TComponent* Owner() const { return FOwner; }
    unsigned ComponentState() const { return FComponentState; }
    bool IsDesigning() const { return (FComponentState & csDesigning) != 0; }
    bool IsDestroying() const { return (FComponentState & csDestroying) != 0; }
    const std::vector<TComponent*>& Components() const { return FComponents; }

    // Marks the component as living in a form designer; its settings then only store values.
    void SetDesigning(bool designing);

    // Enters csDestroying. A destructor whose work depends on that state calls this
    // first, because in C++ the most derived destructor runs before this class's.
    void Destroying();

    // Frees the component the way an owner does: csDestroying first, then delete.
    static void Free(TComponent* component);

private:
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    TComponent* FOwner;
    unsigned FComponentState = 0;
    std::vector<TComponent*> FComponents;
};

} // namespace winapp
