package zol.stress.strace;

/** A tamsik test class without DEPTH. */
public class tamsik {
    public static int depth = 100;
}
