#include "ui/DocumentEventsAdapter.h"

#include "core/Ani.h"

namespace zov {

DocumentEventsAdapter::DocumentEventsAdapter(CAni& doc, QObject* parent) : QObject(parent), m_doc(doc) {
    m_doc.AddListener(this);
}

DocumentEventsAdapter::~DocumentEventsAdapter() {
    m_doc.RemoveListener(this);
}

} // namespace zov
