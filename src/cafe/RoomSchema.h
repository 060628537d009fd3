#pragma once

// What a server knows about its room beyond the catalogue itself: which catalogue it holds, how far
// back it can answer a client's "what changed since", which PCs have been seen, which games were
// started where, and what the Hot tab lists. Every statement here can run again on a server that
// already has it, so server-init also brings a server laid out by an older version up to date
// without touching its games.
namespace RoomSchema {

// A connected client holds a shared advisory lock on (PresenceLock, its ClientID), which the server
// drops by itself when the connection goes, so "online" never outlives the client. (727021 keys the
// lock that takes one PC's launches one at a time.)
inline constexpr int PresenceLock = 727020;

inline constexpr char CreateSql[] = R"sql(
CREATE TABLE IF NOT EXISTS CatalogueServer (
    OnlyRow boolean PRIMARY KEY DEFAULT true CHECK (OnlyRow),
    CatalogueId uuid NOT NULL DEFAULT gen_random_uuid(),
    OldestHorizon xid8 NOT NULL DEFAULT '0'
);
INSERT INTO CatalogueServer DEFAULT VALUES ON CONFLICT DO NOTHING;

-- The rule behind every menu's Hot tab: NULLs for the games flagged GameHot, else the HotTop games
-- started most in the last HotDays days.
ALTER TABLE CatalogueServer ADD COLUMN IF NOT EXISTS HotTop int CHECK (HotTop BETWEEN 1 AND 1000);
ALTER TABLE CatalogueServer ADD COLUMN IF NOT EXISTS HotDays int CHECK (HotDays BETWEEN 1 AND 3650);

CREATE OR REPLACE FUNCTION room_set_hot(top int, days int) RETURNS void LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
BEGIN
    IF (top IS NULL) <> (days IS NULL) THEN
        RAISE EXCEPTION 'top and days go together' USING ERRCODE = '22023';
    END IF;
    UPDATE public.CatalogueServer SET HotTop = top, HotDays = days;
    -- The running menus read the rule again within moments.
    PERFORM pg_notify('juyoutai_catalogue', '');
END $$;

-- Markers older than 30 days go; the horizon below which a client cannot be answered moves past them.
ALTER TABLE CatalogueDeleted ADD COLUMN IF NOT EXISTS DeletedAt timestamptz NOT NULL DEFAULT now();
CREATE INDEX IF NOT EXISTS CatalogueDeleted_DeletedAt ON CatalogueDeleted (DeletedAt);

CREATE OR REPLACE FUNCTION catalogue_prune_deleted() RETURNS trigger LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
DECLARE
    newest numeric;
BEGIN
    WITH gone AS (
        DELETE FROM public.CatalogueDeleted WHERE DeletedAt < now() - interval '30 days' RETURNING RowVersion
    )
    SELECT max(RowVersion::text::numeric) INTO newest FROM gone;
    IF newest IS NOT NULL THEN
        UPDATE public.CatalogueServer
           SET OldestHorizon = greatest(OldestHorizon, (newest + 1)::text::xid8);
    END IF;
    RETURN NULL;
END $$;
CREATE OR REPLACE TRIGGER TypeList_Prune AFTER DELETE ON TypeList
    FOR EACH STATEMENT EXECUTE FUNCTION catalogue_prune_deleted();
CREATE OR REPLACE TRIGGER GameList_Prune AFTER DELETE ON GameList
    FOR EACH STATEMENT EXECUTE FUNCTION catalogue_prune_deleted();

-- A catalogue copied in whole is another catalogue: every client reads it in full once.
CREATE OR REPLACE FUNCTION catalogue_renew_identity() RETURNS void LANGUAGE sql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
    UPDATE public.CatalogueServer SET CatalogueId = gen_random_uuid();
$$;

CREATE TABLE IF NOT EXISTS ClientPresence (
    ClientID bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    ClientName text NOT NULL UNIQUE CHECK (length(ClientName) BETWEEN 1 AND 64),
    LastSeen timestamptz NOT NULL DEFAULT now(),
    LastGame text,
    LastGameAt timestamptz
);

-- A client names itself when it connects and now and then after; returns the server's time.
-- The menu's functions are plain SQL: a room switched on together then never loads PL/pgSQL into its
-- backends, which costs each of them about a millisecond.
CREATE OR REPLACE FUNCTION room_client_hello(client text) RETURNS timestamptz LANGUAGE sql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
    INSERT INTO public.ClientPresence AS p (ClientName) VALUES (client)
        ON CONFLICT (ClientName) DO UPDATE SET LastSeen = now();
    -- Shared: PCs that share a name are one row, online while any of them is connected.
    SELECT pg_advisory_lock_shared(727020, p.ClientID::int) FROM public.ClientPresence p WHERE p.ClientName = client;
    SELECT now();
$$;

CREATE TABLE IF NOT EXISTS GameLaunch (
    LaunchID bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    LaunchKey uuid NOT NULL UNIQUE,
    GameID bigint NOT NULL,
    GameName text,
    ClientName text NOT NULL,
    LaunchedAt timestamptz NOT NULL
);
CREATE INDEX IF NOT EXISTS GameLaunch_Client ON GameLaunch (ClientName, LaunchedAt);
CREATE INDEX IF NOT EXISTS GameLaunch_Time ON GameLaunch (LaunchedAt);

-- One launch; at NULL is now. Answers recorded, duplicate (this key was recorded before), too-soon
-- (the same game on the same PC within 10 s), too-many (120 in the hour before) or bad-time.
CREATE OR REPLACE FUNCTION room_record_launch(client text, launch uuid, game bigint, game_name text,
                                              at timestamptz) RETURNS text LANGUAGE sql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
    -- One PC's launches one at a time, so the limits hold however they arrive: the next statement
    -- looks with a snapshot taken after the lock.
    SELECT pg_advisory_xact_lock(727021, hashtext(client));
    WITH moment AS (SELECT coalesce(at, now()) AS t),
    verdict AS (
        SELECT CASE
            WHEN client IS NULL OR length(client) NOT BETWEEN 1 AND 64 OR launch IS NULL OR game IS NULL
                THEN 'refused'
            WHEN t > now() OR t < now() - interval '7 days' THEN 'bad-time'
            WHEN EXISTS (SELECT 1 FROM public.GameLaunch WHERE LaunchKey = launch) THEN 'duplicate'
            WHEN EXISTS (SELECT 1 FROM public.GameLaunch g WHERE g.ClientName = client AND g.GameID = game
                         AND g.LaunchedAt > t - interval '10 seconds' AND g.LaunchedAt < t + interval '10 seconds')
                THEN 'too-soon'
            WHEN (SELECT count(*) FROM public.GameLaunch g WHERE g.ClientName = client
                  AND g.LaunchedAt > t - interval '1 hour' AND g.LaunchedAt <= t) >= 120 THEN 'too-many'
            ELSE 'recorded' END AS outcome, t
        FROM moment),
    launched AS (
        INSERT INTO public.GameLaunch (LaunchKey, GameID, GameName, ClientName, LaunchedAt)
        SELECT launch, game, left(game_name, 200), client, t FROM verdict WHERE outcome = 'recorded'),
    -- A PC may report a launch before it has named itself on this connection.
    seen AS (
        INSERT INTO public.ClientPresence AS p (ClientName, LastGame, LastGameAt)
        SELECT client, left(game_name, 200), t FROM verdict WHERE outcome = 'recorded'
        ON CONFLICT (ClientName) DO UPDATE SET LastGame = EXCLUDED.LastGame, LastGameAt = EXCLUDED.LastGameAt
        WHERE p.LastGameAt IS NULL OR p.LastGameAt <= EXCLUDED.LastGameAt)
    SELECT outcome FROM verdict;
$$;

-- The ranking the rule asks for, most started first, ties by the game's name; games no longer in the
-- catalogue and games never started are not in it.
CREATE OR REPLACE FUNCTION room_hot_games() RETURNS TABLE (ranked_game bigint) LANGUAGE sql STABLE
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
    SELECT g.GameID
      FROM public.GameLaunch l
      JOIN public.GameList g ON g.GameID = l.GameID
      JOIN public.CatalogueServer s ON s.HotTop IS NOT NULL
     WHERE l.LaunchedAt > now() - s.HotDays * interval '1 day'
     GROUP BY g.GameID, g.GameName
     ORDER BY count(*) DESC, g.GameName, g.GameID
     LIMIT (SELECT HotTop FROM public.CatalogueServer);
$$;
)sql";

// The menu only calls the two functions; it can neither read nor write the room's tables itself.
inline constexpr char GrantSql[] = R"sql(
REVOKE ALL ON CatalogueServer, ClientPresence, GameLaunch FROM PUBLIC;
GRANT SELECT ON CatalogueServer TO juyoutai_menu, juyoutai_operator;
GRANT SELECT ON ClientPresence, GameLaunch TO juyoutai_operator;
REVOKE ALL ON FUNCTION catalogue_renew_identity(), room_client_hello(text),
    room_record_launch(text, uuid, bigint, text, timestamptz), room_set_hot(int, int), room_hot_games() FROM PUBLIC;
GRANT EXECUTE ON FUNCTION catalogue_renew_identity(), room_set_hot(int, int) TO juyoutai_operator;
GRANT EXECUTE ON FUNCTION room_hot_games() TO juyoutai_menu, juyoutai_operator;
GRANT EXECUTE ON FUNCTION room_client_hello(text), room_record_launch(text, uuid, bigint, text, timestamptz)
    TO juyoutai_menu;
)sql";

// Asked together with LISTEN: whether this server keeps the room's tables at all (an older set-up does not).
inline constexpr char PresentSql[] = "SELECT to_regclass('public.catalogueserver') IS NOT NULL";
// Inside a client's read: which catalogue the server holds, and the oldest horizon it can answer.
inline constexpr char IdentitySql[] =
    "SELECT CatalogueId::text, OldestHorizon::text, HotTop, HotDays FROM CatalogueServer";
inline constexpr char HotGamesSql[] = "SELECT ranked_game FROM room_hot_games()";

// The operator's view of the room: one row per name ever seen; online while a connection holds its lock.
inline constexpr char ClientsSql[] = R"sql(
SELECT p.ClientName,
       EXISTS (SELECT 1 FROM pg_locks l
                WHERE l.locktype = 'advisory' AND l.granted AND l.objsubid = 2 AND l.classid = 727020
                  AND l.objid::text::bigint = p.ClientID
                  AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database())),
       to_char(p.LastSeen, 'YYYY-MM-DD HH24:MI:SS'), p.LastGame, to_char(p.LastGameAt, 'YYYY-MM-DD HH24:MI:SS')
  FROM ClientPresence p ORDER BY p.ClientName
)sql";

// The K most started games of the last N days ($1 days, $2 games): name, starts, PCs; most first, ties by name.
inline constexpr char TopGamesSql[] = R"sql(
SELECT (array_agg(GameName ORDER BY LaunchedAt DESC))[1], count(*), count(DISTINCT ClientName)
  FROM GameLaunch WHERE LaunchedAt > now() - $1::int * interval '1 day'
 GROUP BY GameID ORDER BY count(*) DESC, 1 LIMIT $2::int
)sql";
inline constexpr char TotalsSql[] =
    "SELECT count(*), count(DISTINCT ClientName) FROM GameLaunch WHERE LaunchedAt > now() - $1::int * interval '1 day'";

} // namespace RoomSchema
