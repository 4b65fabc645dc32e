-- The SQL Server login Corvex uses, with exactly the rights it needs in the
-- sales database. Run once as a sysadmin, naming the login, its password and
-- the database as in main.ini ([DB] User, Password, Database):
--   sqlcmd -S db01\VENTAS -E -i corvex_login.sql
--     -v CorvexLogin="corvex" CorvexPassword="..." CorvexDatabase="Velantrix"
-- sqlcmd refuses to run while one of the three is missing. A single quote in
-- the password is written twice (O''Brien), as everywhere in T-SQL.
-- A login that exists already keeps its password and only gets the user and
-- the rights; so does a Windows login created before for integrated
-- authentication (CREATE LOGIN [COMPANY\corvex-svc] FROM WINDOWS).
-- The password policy applies; it never expires, since an unattended program
-- cannot change it.

USE master;
IF SUSER_ID(N'$(CorvexLogin)') IS NULL
  CREATE LOGIN [$(CorvexLogin)] WITH PASSWORD = N'$(CorvexPassword)', DEFAULT_DATABASE = [$(CorvexDatabase)],
    CHECK_POLICY = ON, CHECK_EXPIRATION = OFF;
GO

USE [$(CorvexDatabase)];
IF USER_ID(N'$(CorvexLogin)') IS NULL
  CREATE USER [$(CorvexLogin)] FOR LOGIN [$(CorvexLogin)];
GO

-- Reading: the pending documents, the parameters, the logo.
GRANT SELECT ON dbo.vwDTECorvex TO [$(CorvexLogin)];
GRANT SELECT ON dbo.Parametros TO [$(CorvexLogin)];
GRANT SELECT ON dbo.SYSDATA TO [$(CorvexLogin)];
-- The document's data for its PDF.
GRANT EXECUTE ON dbo.tovGetFESalvador TO [$(CorvexLogin)];
-- Marking a mailed document, and asking for one to be mailed again:
--   UPDATE FACTURAS_ENC SET ENVIADA=1 WHERE SERIE='...' AND NUMERO=...
-- SQL Server also asks SELECT on the columns the WHERE clause reads.
GRANT UPDATE (ENVIADA) ON dbo.FACTURAS_ENC TO [$(CorvexLogin)];
GRANT SELECT (SERIE, NUMERO) ON dbo.FACTURAS_ENC TO [$(CorvexLogin)];
GO
