#include "render/layout.h"

namespace corvex {

const Control* Layout::findControl(const QString& name) const {
  for (const Band* band : bands()) {
    for (const Control& control : band->controls) {
      if (control.name.compare(name, Qt::CaseInsensitive) == 0) return &control;
    }
  }
  return nullptr;
}

bool Layout::hasDataControl() const {
  for (const Band* band : bands()) {
    for (const Control& control : band->controls) {
      if (control.kind == ControlKind::DataControl) return true;
    }
  }
  return false;
}

std::vector<const Band*> Layout::bands() const {
  if (!flows()) return {&pageHeader, &detail, &pageFooter};
  std::vector<const Band*> all{&pageHeader};
  for (const BodySection& section : body) {
    all.push_back(&section.caption);
    all.push_back(&section.band);
  }
  all.push_back(&pageFooter);
  return all;
}

}  // namespace corvex
