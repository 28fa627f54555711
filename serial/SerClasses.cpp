#include "serial/SerClasses.h"

#include <algorithm>
#include <stdexcept>

namespace serial {

TSerComponent::TSerComponent(TSerComponent* AOwner) : FOwner(AOwner) {}

TSerComponent::~TSerComponent()
{
    FDestroying = true;
    // Tell every linked component that this one is going away, and drop the links both ways.
    while (!FFreeNotifies.empty()) {
        TSerComponent* other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        other->Unlink(this);
        other->Notification(this, TOperation::opRemove);
    }
}

void TSerComponent::EndLoading()
{
    if (FLoading)
        Loaded();
}

void TSerComponent::Loaded()
{
    FLoading = false;
}

void TSerComponent::Notification(TSerComponent* /*AComponent*/, TOperation /*Operation*/) {}

void TSerComponent::FreeNotification(TSerComponent* AComponent)
{
    if (AComponent == nullptr || AComponent == this)
        return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
        FFreeNotifies.push_back(AComponent);
    if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) ==
        AComponent->FFreeNotifies.end())
        AComponent->FFreeNotifies.push_back(this);
}

void TSerComponent::RemoveFreeNotification(TSerComponent* AComponent)
{
    if (AComponent == nullptr)
        return;
    Unlink(AComponent);
    AComponent->Unlink(this);
}

void TSerComponent::Unlink(TSerComponent* AComponent)
{
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent),
                        FFreeNotifies.end());
}

void TSerPersistent::Assign(const TSerPersistent& Source)
{
    throw std::invalid_argument("Cannot assign a " + Source.ClassName() + " to a " + ClassName());
}

void TSerPersistent::BeginUpdate()
{
    ++FUpdateCount;
}

void TSerPersistent::EndUpdate()
{
    if (FUpdateCount > 0)
        --FUpdateCount;
    Changed();
}

void TSerPersistent::Changed()
{
    if (FUpdateCount == 0 && OnChange)
        OnChange(*this);
}

} // namespace serial
