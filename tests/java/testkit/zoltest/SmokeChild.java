package zoltest;

/** Runs one SmokeScenario in this JVM: args[0] names its class. */
public final class SmokeChild {
    static final String OK = "SMOKE-OK";

    private SmokeChild() {}

    public static void main(String[] args) throws Exception {
        SmokeScenario scenario = (SmokeScenario) Class.forName(args[0]).getDeclaredConstructor().newInstance();
        scenario.run();
        System.out.println(OK);
        System.out.flush();
    }
}
