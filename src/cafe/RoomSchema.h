#pragma once

// What a server knows about its room beyond the catalogue itself: which catalogue it holds, how far
// back it can answer a client's "what changed since", which PCs have been seen, which games were
// started where, and what the Hot tab lists. Every statement here can run again on a server that
// already has it, so server-init also brings a server laid out by an older version up to date
// without touching its games.
namespace RoomSchema {

// A connected client holds a shared advisory lock on (PresenceLock, its ClientID), which the server
// drops by itself when the connection goes, so "online" never outlives the client. The lock a session
// holds is also the PC it named: one per session. A ClientID from 2^31 on, which the lock's second
// number cannot hold, is keyed (-(ClientID >> 31), its low 31 bits). (727021 takes one PC's launches one
// at a time, 727022 one address's new names, 727023 one address's launches, 727024 the Hot ranking's
// refresh; 727025, shared by every launch, keeps the period counts' moves apart from launches.)
inline constexpr int PresenceLock = 727020;

// Per PC and per client address; connections from the addresses in CatalogueServer.LimitExemptAddrs
// (the server's own machine) are held only to the limits per PC.
inline constexpr int LaunchesPerHourPerPc = 120;
inline constexpr int LaunchesPerHourPerAddress = 240;
inline constexpr int NewNamesPerDayPerAddress = 10;
inline constexpr int DefaultRetentionDays = 400;

inline constexpr char CreateSql[] = R"sql(
-- Run inside the set-up's transaction; what is already there is kept without a word.
SET LOCAL client_min_messages = warning;
CREATE TABLE IF NOT EXISTS CatalogueServer (
    OnlyRow boolean PRIMARY KEY DEFAULT true CHECK (OnlyRow),
    CatalogueId uuid NOT NULL DEFAULT gen_random_uuid(),
    OldestHorizon xid8 NOT NULL DEFAULT '0'
);
INSERT INTO CatalogueServer (OnlyRow) SELECT true WHERE NOT EXISTS (SELECT FROM CatalogueServer);

-- The rule behind every menu's Hot tab: NULLs for the games flagged GameHot, else the HotTop games
-- started most in the last HotDays days.
ALTER TABLE CatalogueServer ADD COLUMN IF NOT EXISTS HotTop int CHECK (HotTop BETWEEN 1 AND 1000);
ALTER TABLE CatalogueServer ADD COLUMN IF NOT EXISTS HotDays int CHECK (HotDays BETWEEN 1 AND 3650);
-- When HotRanking was last computed.
ALTER TABLE CatalogueServer ADD COLUMN IF NOT EXISTS HotComputedAt timestamptz;
-- Days of launches kept.
ALTER TABLE CatalogueServer ADD COLUMN IF NOT EXISTS LaunchRetentionDays int NOT NULL DEFAULT 400
    CHECK (LaunchRetentionDays BETWEEN 1 AND 36500);
-- A launch's day and hour are the room's, whatever zone a session asks in: the server's own zone when
-- the room was set up.
ALTER TABLE CatalogueServer ADD COLUMN IF NOT EXISTS RoomTimeZone text;
UPDATE CatalogueServer SET RoomTimeZone = (SELECT reset_val FROM pg_settings WHERE name = 'TimeZone')
 WHERE RoomTimeZone IS NULL;
ALTER TABLE CatalogueServer ALTER COLUMN RoomTimeZone SET NOT NULL;
-- Connections from these addresses are held to the limits per PC only (a front-desk menu on the server,
-- the benchmark). A connection over the server's local socket has no address and counts as 127.0.0.1.
ALTER TABLE CatalogueServer ADD COLUMN IF NOT EXISTS LimitExemptAddrs inet[] NOT NULL
    DEFAULT '{127.0.0.0/8,::1/128}';

CREATE OR REPLACE FUNCTION room_set_hot(top int, days int) RETURNS void LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
BEGIN
    IF (top IS NULL) <> (days IS NULL) THEN
        RAISE EXCEPTION 'top and days go together' USING ERRCODE = '22023';
    END IF;
    UPDATE public.CatalogueServer SET HotTop = top, HotDays = days;
    PERFORM public.room_refresh_hot();
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

-- A marker names one of the two tables, nothing else; two categories never share a name.
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_constraint WHERE conname = 'cataloguedeleted_kind') THEN
        ALTER TABLE CatalogueDeleted ADD CONSTRAINT CatalogueDeleted_Kind CHECK (TableName IN ('gamelist', 'typelist'));
    END IF;
    IF NOT EXISTS (SELECT FROM pg_constraint WHERE conname = 'typelist_typename_unique') THEN
        ALTER TABLE TypeList ADD CONSTRAINT TypeList_TypeName_Unique UNIQUE (TypeName);
    END IF;
END $$;

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
-- Where and when a name was first given: new names are limited per address.
ALTER TABLE ClientPresence ADD COLUMN IF NOT EXISTS FirstAddr inet;
ALTER TABLE ClientPresence ADD COLUMN IF NOT EXISTS FirstSeen timestamptz NOT NULL DEFAULT now();
CREATE INDEX IF NOT EXISTS ClientPresence_FirstAddr ON ClientPresence (FirstAddr, FirstSeen);

-- The address the limits count this connection under, and whether they apply to it. These helpers run
-- inside the room's functions only (nobody else may call them), without settings of their own, so the
-- first is written into its callers and none costs a change of search path.
CREATE OR REPLACE FUNCTION room_client_addr() RETURNS inet LANGUAGE sql STABLE AS $$
    SELECT coalesce(pg_catalog.inet_client_addr(), inet '127.0.0.1');
$$;
CREATE OR REPLACE FUNCTION room_addr_limited() RETURNS boolean LANGUAGE sql STABLE AS $$
    SELECT NOT coalesce(public.room_client_addr() OPERATOR(pg_catalog.<<=) ANY (s.LimitExemptAddrs), false)
      FROM public.CatalogueServer s;
$$;

-- Refusals of the menu's plain-SQL functions. The statements name only the plain-SQL wrapper, which the
-- server neither inlines (its setting) nor looks into before it runs: only a refusal loads the procedural
-- language, which costs a fresh backend about a millisecond.
CREATE OR REPLACE FUNCTION room_raise(state text, message text) RETURNS boolean LANGUAGE plpgsql VOLATILE
SET search_path = pg_catalog, public AS $$
BEGIN
    RAISE EXCEPTION '%', message USING ERRCODE = state;
END $$;
CREATE OR REPLACE FUNCTION room_refuse(state text, message text) RETURNS boolean LANGUAGE sql VOLATILE
SET search_path = pg_catalog, public AS $$
    SELECT public.room_raise(state, message);
$$;

-- Another name on a session bound to the PC numbered bound.
CREATE OR REPLACE FUNCTION room_refuse_rename(bound bigint) RETURNS bigint LANGUAGE sql VOLATILE
SET search_path = pg_catalog, public AS $$
    SELECT CASE WHEN public.room_raise('42501', format('本连接已是机器 %s，不能再用别的名字', coalesce(
        (SELECT p.ClientName FROM public.ClientPresence p WHERE p.ClientID = bound), '#' || bound)))
        THEN NULL::bigint END;
$$;

-- The PC each session named, by the server process serving it; a process id used again by a later
-- session has another start time, so a row left by an ended session binds nobody. Only the room's
-- functions write it; it is rebuilt empty after a crash, when no session survives either.
CREATE UNLOGGED TABLE IF NOT EXISTS ClientSession (
    Pid int PRIMARY KEY,
    BackendStart timestamptz,
    ClientID bigint NOT NULL
);
-- Made by earlier versions; nothing calls it.
DROP FUNCTION IF EXISTS room_session_client();
-- A name's first hello: the limits on new names per address, then the new row; returns its ClientID.
CREATE OR REPLACE FUNCTION room_register(client text) RETURNS bigint LANGUAGE sql VOLATILE AS $$
    SELECT public.room_refuse('23514', '机器名须为 1 到 64 个字符')
     WHERE client IS NULL OR pg_catalog.length(client) NOT BETWEEN 1 AND 64;
    -- That address's new names one at a time, so the count in the next statement holds.
    SELECT pg_catalog.pg_advisory_xact_lock(727022, pg_catalog.hashtext(pg_catalog.host(public.room_client_addr())))
     WHERE public.room_addr_limited();
    INSERT INTO public.ClientPresence (ClientName, FirstAddr)
    SELECT client, public.room_client_addr()
     WHERE CASE WHEN EXISTS (SELECT FROM public.ClientPresence WHERE ClientName = client) THEN false
                WHEN NOT public.room_addr_limited() THEN true
                WHEN (SELECT pg_catalog.count(*) FROM public.ClientPresence WHERE FirstAddr = public.room_client_addr()
                         AND FirstSeen > pg_catalog.now() - interval '1 day') < 10 THEN true
                ELSE public.room_refuse('54000', pg_catalog.format('地址 %s 一天内最多登记 10 台新机器',
                                                         pg_catalog.host(public.room_client_addr()))) END
        ON CONFLICT (ClientName) DO NOTHING;
    SELECT ClientID FROM public.ClientPresence WHERE ClientName = client;
$$;

-- A client names itself when it connects and now and then after; returns the server's time. The first
-- name binds the session: another name on it later is refused. A name seen before uses no number.
-- The menu's functions are plain SQL, in few statements: a room switched on together then never loads
-- PL/pgSQL into its backends, which costs each of them about a millisecond.
CREATE OR REPLACE FUNCTION room_client_hello(client text) RETURNS timestamptz LANGUAGE sql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
    -- A name seen before: seen now (PCs that share a name are one row, seen while any of them says hello).
    WITH known AS (
        UPDATE public.ClientPresence SET LastSeen = now() WHERE ClientName = client RETURNING ClientID),
    b AS (
        SELECT a.backend_start AS started, (SELECT ClientID FROM known) AS known,
               (SELECT s.ClientID FROM public.ClientSession s
                 WHERE s.Pid = a.pid AND s.BackendStart IS NOT DISTINCT FROM a.backend_start) AS bound
          FROM pg_stat_get_activity(pg_backend_pid()) a),
    -- A name too short or too long is refused (by the registration), another name on a bound session
    -- too; a new one is registered.
    me AS (
        SELECT CASE
            WHEN client IS NULL OR length(client) NOT BETWEEN 1 AND 64 THEN public.room_register(client)
            WHEN b.bound IS NOT NULL AND b.known IS DISTINCT FROM b.bound THEN public.room_refuse_rename(b.bound)
            ELSE coalesce(b.known, public.room_register(client)) END AS id, b.bound, b.started
          FROM b),
    -- The session's first hello binds it (replacing what an ended session of the same process id left)
    -- and takes the presence lock, shared: the PC is online while any session of its name is open. A lock
    -- held the other way round only leaves the PC shown offline.
    bound AS (
        INSERT INTO public.ClientSession AS s (Pid, BackendStart, ClientID)
        SELECT pg_backend_pid(), me.started, me.id
          FROM me WHERE me.bound IS NULL
            ON CONFLICT (Pid) DO UPDATE SET BackendStart = excluded.BackendStart, ClientID = excluded.ClientID
        RETURNING s.ClientID),
    held AS (
        SELECT pg_try_advisory_lock_shared(
                   CASE WHEN ClientID < 2147483648 THEN 727020 ELSE -(ClientID >> 31)::int END,
                   (ClientID & 2147483647)::int) FROM bound)
    SELECT now() FROM (SELECT count(*) FROM held) h;
$$;

CREATE TABLE IF NOT EXISTS GameLaunch (
    LaunchID bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    LaunchKey uuid NOT NULL UNIQUE,
    GameID bigint NOT NULL,
    GameName text,
    ClientName text NOT NULL,
    LaunchedAt timestamptz NOT NULL
);
-- Who sent it from where, and when it arrived: the limits per address count arrivals, so launches
-- dated back do not get round them.
ALTER TABLE GameLaunch ADD COLUMN IF NOT EXISTS ClientID bigint;
ALTER TABLE GameLaunch ADD COLUMN IF NOT EXISTS ClientAddr inet;
ALTER TABLE GameLaunch ADD COLUMN IF NOT EXISTS ReceivedAt timestamptz NOT NULL DEFAULT now();
UPDATE GameLaunch l SET ClientID = p.ClientID FROM ClientPresence p
 WHERE l.ClientID IS NULL AND p.ClientName = l.ClientName;
DROP INDEX IF EXISTS GameLaunch_Client;
CREATE INDEX IF NOT EXISTS GameLaunch_ClientTime ON GameLaunch (ClientID, LaunchedAt);
CREATE INDEX IF NOT EXISTS GameLaunch_AddrTime ON GameLaunch (ClientAddr, ReceivedAt) WHERE ClientAddr IS NOT NULL;
CREATE INDEX IF NOT EXISTS GameLaunch_Time ON GameLaunch (LaunchedAt);

-- Kept by the launch function in the same statement; days and hours in the room's zone.
CREATE TABLE IF NOT EXISTS GameLaunchDaily (
    Day date NOT NULL,
    GameID bigint NOT NULL,
    Launches bigint NOT NULL,
    PRIMARY KEY (Day, GameID)
);
CREATE TABLE IF NOT EXISTS GameLaunchHourly (
    Day date NOT NULL,
    Hour smallint NOT NULL CHECK (Hour BETWEEN 0 AND 23),
    Launches bigint NOT NULL,
    PRIMARY KEY (Day, Hour)
);
CREATE TABLE IF NOT EXISTS GameClientDay (
    Day date NOT NULL,
    GameID bigint NOT NULL,
    ClientID bigint NOT NULL,
    PRIMARY KEY (Day, GameID, ClientID)
);
-- The last day each PC started each game, and the last day each PC started any: the PCs of the last N
-- days are those whose last day is on or after the first of them, whatever N is. Filled from the
-- roll-up above on a server that kept launches before these were there.
DO $$
BEGIN
    IF to_regclass('gameclientlast') IS NULL THEN
        CREATE TABLE GameClientLast (
            GameID bigint NOT NULL,
            ClientID bigint NOT NULL,
            LastDay date NOT NULL,
            PRIMARY KEY (GameID, ClientID)
        );
        CREATE INDEX GameClientLast_GameDay ON GameClientLast (GameID, LastDay);
        INSERT INTO GameClientLast (GameID, ClientID, LastDay)
        SELECT GameID, ClientID, max(Day) FROM GameClientDay GROUP BY GameID, ClientID;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_attribute WHERE attrelid = 'clientpresence'::regclass
                      AND attname = 'lastlaunchday' AND NOT attisdropped) THEN
        ALTER TABLE ClientPresence ADD COLUMN LastLaunchDay date;
        UPDATE ClientPresence p SET LastLaunchDay = c.Day
          FROM (SELECT ClientID, max(Day) AS Day FROM GameClientDay GROUP BY ClientID) c
         WHERE c.ClientID = p.ClientID;
    END IF;
END $$;
-- Launches per game over the last Days days (today included), for the few periods the room's readers
-- asked for lately: Launches is the sum of GameLaunchDaily from First on. The launch function adds to
-- every period its day falls in; room_ready_period moves First on each day, so a read costs a row per
-- game whatever the days hold. Only the operator's reads add a period, six at most.
CREATE TABLE IF NOT EXISTS LaunchPeriod (
    Days int PRIMARY KEY CHECK (Days BETWEEN 1 AND 31),
    First date NOT NULL,
    ReadAt timestamptz NOT NULL DEFAULT now()
);
CREATE TABLE IF NOT EXISTS GameLaunchPeriod (
    Days int NOT NULL,
    GameID bigint NOT NULL,
    Launches bigint NOT NULL,
    PRIMARY KEY (Days, GameID)
);
CREATE INDEX IF NOT EXISTS GameLaunchPeriod_Most ON GameLaunchPeriod (Days, Launches DESC);
-- The Hot rule's ranking, read by every menu.
CREATE TABLE IF NOT EXISTS HotRanking (
    Rank int PRIMARY KEY,
    GameID bigint NOT NULL
);

DROP FUNCTION IF EXISTS room_record_launch(text, uuid, bigint, text, timestamptz);

-- One launch of the session's PC; at NULL is now. Answers recorded, duplicate (this key was recorded
-- before), too-soon (the same game on the same PC within 10 s), too-many (120 in the hour before on the
-- PC, or 240 arrived in the last hour from its address), bad-time, unknown-game (not in GameList),
-- no-hello (the session has not named its PC) or refused (no key).
CREATE OR REPLACE FUNCTION room_record_launch(launch uuid, game bigint, at timestamptz) RETURNS text LANGUAGE sql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
    -- One PC's launches, and one address's, one at a time, so the limits hold however they arrive: the
    -- next statement looks with a snapshot taken after the locks.
    SELECT pg_advisory_xact_lock(727021, hashint8(c.id)),
           CASE WHEN public.room_addr_limited()
                THEN pg_advisory_xact_lock(727023, hashtext(host(public.room_client_addr()))) END,
           pg_advisory_xact_lock_shared(727025)
      FROM (SELECT (SELECT s.ClientID FROM public.ClientSession s
                     WHERE s.Pid = pg_backend_pid() AND s.BackendStart IS NOT DISTINCT FROM
                           (SELECT a.backend_start FROM pg_stat_get_activity(pg_backend_pid()) a)) AS id) c
     WHERE c.id IS NOT NULL;
    WITH me AS (
        SELECT p.ClientID, p.ClientName FROM public.ClientPresence p, public.ClientSession s
         WHERE p.ClientID = s.ClientID AND s.Pid = pg_backend_pid() AND s.BackendStart IS NOT DISTINCT FROM
               (SELECT a.backend_start FROM pg_stat_get_activity(pg_backend_pid()) a)),
    place AS (SELECT public.room_client_addr() AS addr, public.room_addr_limited() AS limited),
    moment AS (SELECT coalesce(at, now()) AS t),
    verdict AS (
        SELECT CASE
            WHEN NOT EXISTS (SELECT FROM me) THEN 'no-hello'
            WHEN launch IS NULL THEN 'refused'
            WHEN game IS NULL OR NOT EXISTS (SELECT FROM public.GameList WHERE GameID = game) THEN 'unknown-game'
            WHEN t > now() OR t < now() - interval '7 days' THEN 'bad-time'
            WHEN EXISTS (SELECT FROM public.GameLaunch WHERE LaunchKey = launch) THEN 'duplicate'
            WHEN EXISTS (SELECT FROM public.GameLaunch g, me WHERE g.ClientID = me.ClientID AND g.GameID = game
                         AND g.LaunchedAt > t - interval '10 seconds' AND g.LaunchedAt < t + interval '10 seconds')
                THEN 'too-soon'
            WHEN (SELECT count(*) FROM public.GameLaunch g, me WHERE g.ClientID = me.ClientID
                  AND g.LaunchedAt > t - interval '1 hour' AND g.LaunchedAt <= t) >= 120 THEN 'too-many'
            WHEN (SELECT limited FROM place) AND (SELECT count(*) FROM public.GameLaunch g, place
                  WHERE g.ClientAddr = place.addr AND g.ReceivedAt > now() - interval '1 hour') >= 240 THEN 'too-many'
            ELSE 'recorded' END AS outcome, t
        FROM moment),
    launched AS (
        SELECT v.t, (v.t AT TIME ZONE s.RoomTimeZone) AS local, g.GameID, g.GameName, me.ClientID, me.ClientName
          FROM verdict v, public.CatalogueServer s, public.GameList g, me
         WHERE v.outcome = 'recorded' AND g.GameID = game),
    stored AS (
        INSERT INTO public.GameLaunch (LaunchKey, GameID, GameName, ClientName, ClientID, ClientAddr, LaunchedAt)
        SELECT launch, GameID, GameName, ClientName, ClientID, (SELECT addr FROM place), t FROM launched),
    seen AS (
        UPDATE public.ClientPresence p
           SET LastGame = CASE WHEN p.LastGameAt IS NULL OR p.LastGameAt <= l.t THEN l.GameName ELSE p.LastGame END,
               LastGameAt = greatest(p.LastGameAt, l.t),
               LastLaunchDay = greatest(p.LastLaunchDay, l.local::date)
          FROM launched l WHERE p.ClientID = l.ClientID),
    daily AS (
        INSERT INTO public.GameLaunchDaily AS d (Day, GameID, Launches) SELECT local::date, GameID, 1 FROM launched
            ON CONFLICT (Day, GameID) DO UPDATE SET Launches = d.Launches + 1),
    hourly AS (
        INSERT INTO public.GameLaunchHourly AS h (Day, Hour, Launches)
        SELECT local::date, extract(hour FROM local)::smallint, 1 FROM launched
            ON CONFLICT (Day, Hour) DO UPDATE SET Launches = h.Launches + 1),
    machines AS (
        INSERT INTO public.GameClientDay (Day, GameID, ClientID) SELECT local::date, GameID, ClientID FROM launched
            ON CONFLICT DO NOTHING),
    lastDay AS (
        INSERT INTO public.GameClientLast AS c (GameID, ClientID, LastDay)
        SELECT GameID, ClientID, local::date FROM launched
            ON CONFLICT (GameID, ClientID) DO UPDATE SET LastDay = excluded.LastDay WHERE c.LastDay < excluded.LastDay),
    periods AS (
        INSERT INTO public.GameLaunchPeriod AS w (Days, GameID, Launches)
        SELECT p.Days, l.GameID, 1 FROM launched l, public.LaunchPeriod p WHERE l.local::date >= p.First
            ON CONFLICT (Days, GameID) DO UPDATE SET Launches = w.Launches + 1)
    SELECT outcome FROM verdict;
$$;

-- The ranking the rule asks for from the daily roll-up: the last HotDays days of the room (today and
-- the days before), most started first, ties by the game's name, then its number; games no longer in
-- the catalogue and games never started are not in it. A few more than HotTop are kept, for games
-- deleted before the next refresh. Each refresh also prunes a batch of launches past the retention.
CREATE OR REPLACE FUNCTION room_refresh_hot() RETURNS void LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
DECLARE
    s public.CatalogueServer;
BEGIN
    SELECT * INTO s FROM public.CatalogueServer;
    DELETE FROM public.HotRanking;
    IF s.HotTop IS NOT NULL THEN
        INSERT INTO public.HotRanking (Rank, GameID)
        SELECT row_number() OVER (ORDER BY d.n DESC, g.GameName, g.GameID), g.GameID
          FROM (SELECT GameID, sum(Launches) AS n FROM public.GameLaunchDaily
                 WHERE Day > (now() AT TIME ZONE s.RoomTimeZone)::date - s.HotDays
                 GROUP BY GameID) d
          JOIN public.GameList g ON g.GameID = d.GameID
         ORDER BY d.n DESC, g.GameName, g.GameID
         LIMIT s.HotTop + 50;
    END IF;
    UPDATE public.CatalogueServer SET HotComputedAt = now();
    PERFORM public.room_prune_launches(10000);
    -- The periods kept move on to a new day here rather than at a read of the room console.
    PERFORM public.room_ready_period(p.Days) FROM public.LaunchPeriod p
      WHERE p.First <> (now() AT TIME ZONE s.RoomTimeZone)::date - (p.Days - 1);
    PERFORM public.room_prune_sessions();
END $$;

-- K rows as the ranking stands; one backend at a time recomputes it when it is older than 5 minutes,
-- the others meanwhile read it as it was.
CREATE OR REPLACE FUNCTION room_hot_games() RETURNS TABLE (ranked_game bigint) LANGUAGE sql VOLATILE
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
    SELECT public.room_refresh_hot() FROM public.CatalogueServer s
     WHERE s.HotTop IS NOT NULL AND (s.HotComputedAt IS NULL OR s.HotComputedAt < now() - interval '5 minutes')
       AND pg_try_advisory_xact_lock(727024);
    SELECT h.GameID FROM public.HotRanking h JOIN public.GameList g ON g.GameID = h.GameID
     WHERE (SELECT HotTop FROM public.CatalogueServer) IS NOT NULL
     ORDER BY h.Rank LIMIT (SELECT HotTop FROM public.CatalogueServer);
$$;

-- Launches (and their roll-ups) older than the retention go, at most batch launches a call; returns how
-- many went, so a caller repeats it in transactions of their own until none do.
CREATE OR REPLACE FUNCTION room_prune_launches(batch int DEFAULT 10000) RETURNS bigint LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
DECLARE
    s public.CatalogueServer;
    cutoff date;
    gone bigint;
    newest date;
BEGIN
    SELECT * INTO s FROM public.CatalogueServer;
    cutoff := (now() AT TIME ZONE s.RoomTimeZone)::date - s.LaunchRetentionDays;
    -- A period that may count a day going: launches wait from here, before any row is locked.
    IF EXISTS (SELECT FROM public.LaunchPeriod WHERE First < cutoff) THEN
        PERFORM pg_advisory_xact_lock(727025);
    END IF;
    DELETE FROM public.GameLaunch WHERE LaunchID IN (
        SELECT LaunchID FROM public.GameLaunch
         WHERE LaunchedAt < (cutoff::timestamp AT TIME ZONE s.RoomTimeZone) LIMIT greatest(batch, 1));
    GET DIAGNOSTICS gone = ROW_COUNT;
    WITH days AS (DELETE FROM public.GameLaunchDaily WHERE Day < cutoff RETURNING Day)
    SELECT max(Day) INTO newest FROM days;
    DELETE FROM public.GameLaunchHourly WHERE Day < cutoff;
    DELETE FROM public.GameClientDay WHERE Day < cutoff;
    IF newest IS NOT NULL THEN
        DELETE FROM public.GameClientLast WHERE LastDay < cutoff;
        UPDATE public.ClientPresence SET LastLaunchDay = NULL WHERE LastLaunchDay < cutoff;
    END IF;
    -- A period that counted a day gone is counted again at its next read.
    IF newest IS NOT NULL AND EXISTS (SELECT FROM public.LaunchPeriod WHERE First <= newest) THEN
        DELETE FROM public.GameLaunchPeriod WHERE Days IN (SELECT Days FROM public.LaunchPeriod WHERE First <= newest);
        DELETE FROM public.LaunchPeriod WHERE First <= newest;
    END IF;
    RETURN gone;
END $$;

-- Bindings of sessions that have ended. (A start time this role may not read is kept as NULL, and then
-- only the process's end frees its row.)
CREATE OR REPLACE FUNCTION room_prune_sessions() RETURNS void LANGUAGE sql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
    DELETE FROM public.ClientSession s WHERE NOT EXISTS (
        SELECT FROM pg_stat_get_activity(s.Pid) a WHERE a.backend_start IS NOT DISTINCT FROM s.BackendStart
           OR a.backend_start IS NULL);
$$;
SELECT room_prune_sessions();

-- How many days of launches the room keeps; the next prunes go by it.
CREATE OR REPLACE FUNCTION room_set_retention(days int) RETURNS void LANGUAGE sql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
    UPDATE public.CatalogueServer SET LaunchRetentionDays = days;
$$;

-- The roll-ups made again from the launches: after an upgrade, or launches generated in bulk.
CREATE OR REPLACE FUNCTION room_rebuild_rollups() RETURNS void LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, public AS $$
DECLARE
    zone text := (SELECT RoomTimeZone FROM public.CatalogueServer);
BEGIN
    -- Launches arriving meanwhile wait, so none is counted twice or missed (first at the lock they take
    -- before touching a table, so that none holds it while waiting on the table).
    PERFORM pg_advisory_xact_lock(727025);
    LOCK TABLE public.GameLaunch IN SHARE MODE;
    DELETE FROM public.GameLaunchDaily;
    DELETE FROM public.GameLaunchHourly;
    DELETE FROM public.GameClientDay;
    DELETE FROM public.GameClientLast;
    DELETE FROM public.GameLaunchPeriod;
    DELETE FROM public.LaunchPeriod;
    INSERT INTO public.GameLaunchDaily (Day, GameID, Launches)
    SELECT (LaunchedAt AT TIME ZONE zone)::date, GameID, count(*) FROM public.GameLaunch GROUP BY 1, 2;
    INSERT INTO public.GameLaunchHourly (Day, Hour, Launches)
    SELECT (LaunchedAt AT TIME ZONE zone)::date, extract(hour FROM LaunchedAt AT TIME ZONE zone)::smallint, count(*)
      FROM public.GameLaunch GROUP BY 1, 2;
    INSERT INTO public.GameClientDay (Day, GameID, ClientID)
    SELECT DISTINCT (LaunchedAt AT TIME ZONE zone)::date, GameID, ClientID FROM public.GameLaunch
     WHERE ClientID IS NOT NULL;
    INSERT INTO public.GameClientLast (GameID, ClientID, LastDay)
    SELECT GameID, ClientID, max(Day) FROM public.GameClientDay GROUP BY GameID, ClientID;
    UPDATE public.ClientPresence p SET LastLaunchDay = c.Day
      FROM (SELECT p2.ClientID, max(d.Day) AS Day FROM public.ClientPresence p2
              LEFT JOIN public.GameClientDay d ON d.ClientID = p2.ClientID GROUP BY p2.ClientID) c
     WHERE c.ClientID = p.ClientID AND p.LastLaunchDay IS DISTINCT FROM c.Day;
    PERFORM public.room_refresh_hot();
END $$;

-- Brings the counts of the last days (today included) up to date for a read: a period asked for the
-- first time is counted from the daily roll-up, one counted before drops the days it has left since.
-- Launches wait meanwhile, so none is counted twice or missed; the least read period makes room for a
-- new one. Periods longer than LaunchPeriod holds, or than the days kept, are read from the daily roll-up.
-- (Compiling its few statements to machine code would cost more than it saves.)
CREATE OR REPLACE FUNCTION room_ready_period(period_days int) RETURNS void LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, public SET jit = off AS $$
DECLARE
    period_first date := (now() AT TIME ZONE (SELECT RoomTimeZone FROM public.CatalogueServer))::date - (period_days - 1);
    counted date;
BEGIN
    -- A period longer than the days kept is read from the daily roll-up: the prunes never race a count.
    IF period_days IS NULL OR period_days NOT BETWEEN 1 AND 31
       OR period_days > (SELECT LaunchRetentionDays FROM public.CatalogueServer) THEN
        RETURN;
    END IF;
    SELECT p.First INTO counted FROM public.LaunchPeriod p WHERE p.Days = period_days;
    IF counted IS NOT DISTINCT FROM period_first THEN
        UPDATE public.LaunchPeriod SET ReadAt = now() WHERE LaunchPeriod.Days = period_days AND ReadAt < now() - interval '1 hour';
        RETURN;
    END IF;
    PERFORM pg_advisory_xact_lock(727025);
    SELECT p.First INTO counted FROM public.LaunchPeriod p WHERE p.Days = period_days;
    IF counted IS NOT NULL AND counted < period_first AND counted > period_first - period_days THEN
        UPDATE public.GameLaunchPeriod w SET Launches = w.Launches - d.n
          FROM (SELECT GameID, sum(Launches) AS n FROM public.GameLaunchDaily WHERE Day >= counted AND Day < period_first
                 GROUP BY GameID) d
         WHERE w.Days = period_days AND w.GameID = d.GameID;
        DELETE FROM public.GameLaunchPeriod w WHERE w.Days = period_days AND w.Launches <= 0;
        UPDATE public.LaunchPeriod SET First = period_first WHERE LaunchPeriod.Days = period_days;
    ELSIF counted IS DISTINCT FROM period_first THEN
        DELETE FROM public.LaunchPeriod p WHERE p.Days = period_days OR p.Days IN (
            SELECT o.Days FROM public.LaunchPeriod o ORDER BY o.ReadAt DESC OFFSET 5);
        DELETE FROM public.GameLaunchPeriod w WHERE w.Days = period_days
            OR NOT EXISTS (SELECT FROM public.LaunchPeriod p WHERE p.Days = w.Days);
        INSERT INTO public.GameLaunchPeriod (Days, GameID, Launches)
        SELECT period_days, GameID, sum(Launches) FROM public.GameLaunchDaily WHERE Day >= period_first GROUP BY GameID;
        INSERT INTO public.LaunchPeriod (Days, First) VALUES (period_days, period_first);
    END IF;
END $$;
)sql";

// The menu only calls the two functions; it can neither read nor write the room's tables itself.
inline constexpr char GrantSql[] = R"sql(
REVOKE ALL ON CatalogueServer, ClientPresence, ClientSession, GameLaunch, GameLaunchDaily, GameLaunchHourly,
    GameClientDay, GameClientLast, LaunchPeriod, GameLaunchPeriod, HotRanking FROM PUBLIC;
GRANT SELECT ON CatalogueServer TO juyoutai_menu, juyoutai_operator;
GRANT SELECT ON ClientPresence, GameLaunch, GameLaunchDaily, GameLaunchHourly, GameClientDay, GameClientLast,
    LaunchPeriod, GameLaunchPeriod, HotRanking TO juyoutai_operator;
REVOKE ALL ON FUNCTION catalogue_renew_identity(), room_client_hello(text), room_record_launch(uuid, bigint, timestamptz),
    room_set_hot(int, int), room_hot_games(), room_refresh_hot(), room_prune_launches(int), room_rebuild_rollups(),
    room_set_retention(int), room_refuse(text, text), room_raise(text, text), room_refuse_rename(bigint),
    room_prune_sessions(), room_client_addr(), room_addr_limited(), room_register(text),
    room_ready_period(int) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION catalogue_renew_identity(), room_set_hot(int, int), room_prune_launches(int),
    room_rebuild_rollups(), room_set_retention(int), room_ready_period(int) TO juyoutai_operator;
-- The room's functions tell a session from an ended one of the same process id by its start time, which a
-- role other than the session's own sees only with the right to read every session's statistics.
DO $$
BEGIN
    IF NOT pg_has_role(current_user, 'pg_read_all_stats', 'USAGE') THEN
        GRANT pg_read_all_stats TO CURRENT_USER;
    END IF;
EXCEPTION WHEN insufficient_privilege THEN
    RAISE WARNING '% 不能读取其他会话的开始时间：机器与连接的对应只在连接结束时清除', current_user;
END $$;
GRANT EXECUTE ON FUNCTION room_hot_games() TO juyoutai_menu, juyoutai_operator;
GRANT EXECUTE ON FUNCTION room_client_hello(text), room_record_launch(uuid, bigint, timestamptz) TO juyoutai_menu;
)sql";

// Run by a superuser (only the owner of the built-in functions may change who calls them): the menu's
// sessions take advisory locks only through the room's functions, so one session cannot fill the
// server's lock table by calling the lock functions itself.
inline constexpr char GuardLocksSql[] = R"sql(
DO $$
DECLARE
    f regprocedure;
BEGIN
    FOR f IN SELECT p.oid::regprocedure FROM pg_proc p
              WHERE p.pronamespace = 'pg_catalog'::regnamespace AND p.proname ~ '^pg_(try_)?advisory_'
    LOOP
        EXECUTE format('REVOKE EXECUTE ON FUNCTION %s FROM PUBLIC', f);
        EXECUTE format('GRANT EXECUTE ON FUNCTION %s TO CURRENT_USER, juyoutai_operator', f);
    END LOOP;
END $$;
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
       p.ClientID IN (SELECT CASE WHEN l.classid = 727020 THEN l.objid::text::bigint
                              ELSE ((4294967296 - l.classid::text::bigint) << 31) | l.objid::text::bigint END
                        FROM pg_locks l
                       WHERE l.locktype = 'advisory' AND l.granted AND l.objsubid = 2 AND (l.classid = 727020 OR l.classid::text::bigint >= 2147483648)
                         AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database())),
       to_char(p.LastSeen, 'YYYY-MM-DD HH24:MI:SS'), p.LastGame, to_char(p.LastGameAt, 'YYYY-MM-DD HH24:MI:SS')
  FROM ClientPresence p ORDER BY p.ClientName
)sql";

} // namespace RoomSchema
