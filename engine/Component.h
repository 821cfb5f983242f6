// The small part of a component framework the engine needs: a named object
// that can ask to be told when another one is destroyed, so that a reference
// to it can be dropped in time.
#pragma once

#include <string>
#include <vector>

#include "KavrelExport.h"

namespace kavrel {

enum TOperation { opInsert, opRemove };

class KAVREL_API TComponent {
 public:
  TComponent() = default;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  virtual ~TComponent();

  // From now on `observer` receives Notification(this, opRemove) when this
  // component is destroyed.
  void FreeNotification(TComponent* observer);
  void RemoveFreeNotification(TComponent* observer);

  std::string Name;

 protected:
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  std::vector<TComponent*> observers_;  // told when this one goes
  std::vector<TComponent*> observed_;   // whose lists name this one
};

}  // namespace kavrel
