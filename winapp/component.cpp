#include "component.h"

#include <algorithm>

namespace winapp {

TComponent::TComponent(TComponent* owner) : FOwner(owner) {
    if (FOwner != nullptr)
        FOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    while (!FComponents.empty()) {
        TComponent* last = FComponents.back();
        FComponents.pop_back();
        last->FOwner = nullptr;
        Free(last);
    }
    if (FOwner != nullptr)
        FOwner->RemoveComponent(this);
}

void TComponent::SetDesigning(bool designing) {
    if (designing)
        FComponentState |= csDesigning;
    else
        FComponentState &= ~static_cast<unsigned>(csDesigning);
}

void TComponent::Destroying() { FComponentState |= csDestroying; }

void TComponent::Free(TComponent* component) {
    if (component == nullptr)
        return;
    component->Destroying();
    delete component;
}

void TComponent::InsertComponent(TComponent* component) { FComponents.push_back(component); }

void TComponent::RemoveComponent(TComponent* component) {
    const auto it = std::find(FComponents.begin(), FComponents.end(), component);
    if (it != FComponents.end())
        FComponents.erase(it);
}

} // namespace winapp
