#include "editor/FileDialog.h"

#include "app/Services.h"

QString FileDialog::ShowOpen()
{
    const QString chosen = m_services.chooseFile(m_owner, m_title, m_filter, m_fileName);
    if (!chosen.isEmpty())
        m_fileName = chosen;
    return m_fileName;
}
