#include "PropertyPageMediaPlayer.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "Globals.h"
#include "PcInfo.h"
#include "resource.h"

#include <algorithm>

namespace {


} // namespace

PropertyPageMediaPlayer::PropertyPageMediaPlayer() : fw::PropertyPage(IDD_PROPPAGE_MEDIAPLAYERS) {}

const fw::MessageMap* PropertyPageMediaPlayer::messageMap() const {
    using Self = PropertyPageMediaPlayer;
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onCommand<&Self::OnEdit>(IDC_EDIT_PLAYER),
        fw::onNotify<&Self::OnSelectionChanged>(LBN_SELCHANGE, IDC_PLAYER_LIST),
        fw::onNotify<&Self::OnEdit>(LBN_DBLCLK, IDC_PLAYER_LIST),
    };
    static const fw::MessageMap map{fw::PropertyPage::messageMap(), entries};
    return &map;
}

void PropertyPageMediaPlayer::DoDataExchange(bool) {
    traceEntry(u"PropertyPageMediaPlayer::DoDataExchange");
    editButton.bind(window(), IDC_EDIT_PLAYER);
    playerList = fw::ListBox(window(), IDC_PLAYER_LIST);
    plat::desktop().setWindowText(window(), fw::loadString(IDS_PAGE_MEDIA_PLAYERS));
    playerList.resetContent();
    editButton.enable(false);

    // Installed players are read afresh: one installed meanwhile shows up at the next fill.
    PcInfo& pcInfo = *globals().pcInfo;
    pcInfo.getBasicPlayerlist(basicPlayers);
    pcInfo.getDeepIntegrationPlayerlist(deepPlayers);
    for (const plat::String& name : basicPlayers)
        playerList.addString(name);
    for (const plat::String& name : deepPlayers)
        playerList.addString(name);
    if (!basicPlayers.empty() || !deepPlayers.empty()) {
        playerList.setCurSel(0);
        editButton.enable(globals().isAdministrator);
    }
    traceExit(u"PropertyPageMediaPlayer::DoDataExchange");
}

void PropertyPageMediaPlayer::OnSelectionChanged() {
    editButton.enable(globals().isAdministrator);
}

void PropertyPageMediaPlayer::OnEdit() {
    traceEntry(u"PropertyPageMediaPlayer::OnEdit");
    const int selected = playerList.curSel();
    if (selected < 0) {
        traceExit(u"PropertyPageMediaPlayer::OnEdit");
        return;
    }
    const plat::String name = playerList.itemText(selected);
    if (std::find(basicPlayers.begin(), basicPlayers.end(), name) != basicPlayers.end()) {
        LocalizedMessageBox(window(),
                            FormatPlaceholders(1, fw::loadString(IDS_BASIC_PLAYER_TEXT), name),
                            fw::loadString(IDS_MEDIA_PLAYERS_CAPTION), BoxStyle::Notice);
    } else if (globals().isAdministrator) {
        editDialog.playerName = name;
        editDialog.setParent(window());
        editDialog.doModal();
    }
    traceExit(u"PropertyPageMediaPlayer::OnEdit");
}
