#pragma once

/// The two roles of a session: the host converts every command between the two
/// views of the board, the client relays commands unchanged.
enum class Role { Host, Client };
