#include "Component.h"

#include <algorithm>

namespace kavrel {

TComponent::~TComponent() {
  for (TComponent* observer : std::vector<TComponent*>(observers_)) {
    std::erase(observer->observed_, this);
    observer->Notification(this, opRemove);
  }
  for (TComponent* subject : observed_) std::erase(subject->observers_, this);
}

void TComponent::FreeNotification(TComponent* observer) {
  if (observer == nullptr || observer == this) return;
  if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) return;
  observers_.push_back(observer);
  observer->observed_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* observer) {
  if (observer == nullptr) return;
  std::erase(observers_, observer);
  std::erase(observer->observed_, this);
}

void TComponent::Notification(TComponent*, TOperation) {}

}  // namespace kavrel
