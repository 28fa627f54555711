// Base classes of the serial family: a component with owner, name, loading state and free notification,
// and a persistent settings object with grouped change notification and copying.
#pragma once

#include "platform/Text.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace serial {

enum class TOperation { opInsert, opRemove };

class TSerComponent {
public:
    explicit TSerComponent(TSerComponent* AOwner = nullptr);
    virtual ~TSerComponent();
    TSerComponent(const TSerComponent&) = delete;
    TSerComponent& operator=(const TSerComponent&) = delete;

    TSerComponent* Owner() const { return FOwner; }
    const platform::Text& Name() const { return FName; }
    void SetName(const platform::Text& Value) { FName = Value; }

    // Component state: being loaded from a form, being edited in a designer, being destroyed.
    bool Loading() const { return FLoading; }
    bool Designing() const { return FDesigning; }
    bool Destroying() const { return FDestroying; }
    void SetDesigning(bool Value) { FDesigning = Value; }

    // A form loader calls BeginLoading before it sets the properties and EndLoading after the last one,
    // which calls Loaded.
    void BeginLoading() { FLoading = true; }
    void EndLoading();

    // AComponent receives Notification(this, opRemove) when this component goes away (and the reverse).
    void FreeNotification(TSerComponent* AComponent);
    void RemoveFreeNotification(TSerComponent* AComponent);

protected:
    virtual void Loaded();
    virtual void Notification(TSerComponent* AComponent, TOperation Operation);
    // Descendants call this first in their destructor, so that Destroying holds while they tear down.
    void MarkDestroying() { FDestroying = true; }

private:
    void Unlink(TSerComponent* AComponent);

    TSerComponent* FOwner;
    platform::Text FName;
    bool FLoading = false;
    bool FDesigning = false;
    bool FDestroying = false;
    std::vector<TSerComponent*> FFreeNotifies; // not owned
};

class TSerPersistent {
public:
    TSerPersistent() = default;
    virtual ~TSerPersistent() = default;
    TSerPersistent(const TSerPersistent&) = delete;
    TSerPersistent& operator=(const TSerPersistent&) = delete;

    // Copies the settings of another object of the same class; the base reports that it cannot.
    virtual void Assign(const TSerPersistent& Source);
    virtual std::string ClassName() const = 0;

    void BeginUpdate();
    void EndUpdate();

    std::function<void(TSerPersistent& Sender)> OnChange;

protected:
    void Changed();
    int32_t FUpdateCount = 0;
};

} // namespace serial
