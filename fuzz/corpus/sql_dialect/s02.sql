select * from t where x='isnull(a,b)' and [str(1)]="insert" -- str(2)
/* isnull(1,2) */