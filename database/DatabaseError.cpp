#include "database/DatabaseError.h"

#include <ibase.h>

#include <algorithm>
#include <initializer_list>

namespace vr::db {

bool DatabaseError::Has(std::intptr_t code) const {
    return std::find(codes_.begin(), codes_.end(), code) != codes_.end();
}

bool DatabaseError::ConnectionLost() const {
    // The code of a lost attachment may come anywhere in the report, not only first.
    for (const std::intptr_t code : {isc_network_error, isc_net_read_err, isc_net_write_err, isc_lost_db_connection,
                                     isc_att_shutdown, isc_conn_lost, isc_shutdown, isc_net_server_shutdown,
                                     isc_bad_db_handle}) {
        if (Has(code)) return true;
    }
    return false;
}

bool DatabaseError::ConnectRejected() const {
    return codes_.size() == 1 && codes_.front() == isc_connect_reject;
}

bool DatabaseError::Conflict() const {
    for (const std::intptr_t code :
         {isc_deadlock, isc_update_conflict, isc_lock_conflict, isc_lock_timeout, isc_read_conflict}) {
        if (Has(code)) return true;
    }
    return false;
}

}  // namespace vr::db
